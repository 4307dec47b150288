// The PNG writer against an independent decoder (OpenCV's, on libpng): every
// file reads back as exactly the pixels written, whatever the picture and
// however odd its size.
#include "database/png_writer.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <libdeflate.h>

#include <set>
#include <stdexcept>

namespace {

const cv::Size kSizes[] = {{1, 1}, {3, 5},   {5, 3},    {1, 64},   {64, 1},
                           {2, 2}, {17, 13}, {2047, 3}, {3, 2047}, {640, 480}};

// The track seen from under the car, as the camera simulator draws it
// (ballast noise, a sleeper band, two rails), stored as JPEG 85 and read back.
cv::Mat camera_frame(cv::Size size, int type) {
    cv::Mat frame(size, CV_8UC1);
    cv::RNG rng(size.area());
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            int v = y % 180 < 60 ? 110 + rng.uniform(0, 20) : 40 + rng.uniform(0, 50);
            if (std::abs(x - size.width / 4) < 8 || std::abs(x - size.width * 3 / 4) < 8) v += 150;
            frame.at<uint8_t>(y, x) = cv::saturate_cast<uint8_t>(v);
        }
    }
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", frame, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
    return cv::imdecode(jpeg, CV_MAT_CN(type) == 1 ? cv::IMREAD_GRAYSCALE : cv::IMREAD_COLOR);
}

// Random, flat and camera-like pictures of one size and type.
std::vector<cv::Mat> pictures(cv::Size size, int type) {
    cv::Mat random(size, type);
    cv::randu(random, 0, 256);
    return {random, cv::Mat(size, type, cv::Scalar::all(0)),
            cv::Mat(size, type, cv::Scalar(7, 200, 255)), camera_frame(size, type)};
}

testing::AssertionResult reads_back_as(const cv::Mat& expected, const std::vector<uint8_t>& png) {
    const cv::Mat actual = cv::imdecode(png, cv::IMREAD_UNCHANGED);
    if (actual.size() != expected.size() || actual.type() != expected.type()) {
        return testing::AssertionFailure()
               << "decoded " << actual.size() << " type " << actual.type() << ", wrote "
               << expected.size() << " type " << expected.type();
    }
    const cv::Mat differ = expected != actual;
    const int wrong = cv::countNonZero(differ.reshape(1));
    if (wrong == 0) return testing::AssertionSuccess();
    return testing::AssertionFailure() << wrong << " samples differ";
}

// The filter types of the rows of a file (its one IDAT chunk inflated).
std::set<int> filter_types(const std::vector<uint8_t>& png, size_t row_bytes, size_t rows) {
    const size_t size =
        size_t(png[33]) << 24 | size_t(png[34]) << 16 | size_t(png[35]) << 8 | png[36];
    std::vector<uint8_t> raw((1 + row_bytes) * rows);
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    const auto result = libdeflate_zlib_decompress(inflater, png.data() + 41, size, raw.data(),
                                                   raw.size(), nullptr);
    libdeflate_free_decompressor(inflater);
    std::set<int> types;
    if (result != LIBDEFLATE_SUCCESS) return types;
    for (size_t y = 0; y < rows; ++y)
        types.insert(raw[y * (1 + row_bytes)]);
    return types;
}

// Pictures each of which one of the five filters predicts best: small values
// (none), rows that ramp (sub), equal rows (up), blurred shapes (paeth) and
// the camera's noisy ballast (average).
std::vector<cv::Mat> one_for_each_filter(cv::Size size) {
    cv::RNG rng(size.area());
    cv::Mat small(size, CV_8UC1), ramps(size, CV_8UC1), columns(size, CV_8UC1);
    for (int y = 0; y < size.height; ++y) {
        const int offset = rng.uniform(0, 256);
        for (int x = 0; x < size.width; ++x) {
            small.at<uint8_t>(y, x) = uint8_t(rng.uniform(-3, 4));
            ramps.at<uint8_t>(y, x) = uint8_t(offset + 3 * x);
            columns.at<uint8_t>(y, x) = uint8_t(x * 37 % 251);
        }
    }
    cv::Mat shapes(size, CV_8UC1, cv::Scalar(90));
    for (int i = 0; i < 40; ++i) {
        cv::circle(shapes, {rng.uniform(0, size.width), rng.uniform(0, size.height)},
                   rng.uniform(2, 60), cv::Scalar(rng.uniform(0, 256)), cv::FILLED);
    }
    cv::GaussianBlur(shapes, shapes, {9, 9}, 3);
    return {small, ramps, columns, shapes, camera_frame(size, CV_8UC1)};
}

}  // namespace

TEST(png_writer, every_filter_is_chosen_for_the_picture_it_suits_and_reads_back) {
    std::set<int> chosen;
    for (const cv::Size size : {cv::Size(641, 479), cv::Size(2047, 33)}) {
        for (const cv::Mat& grey : one_for_each_filter(size)) {
            const auto png = write_png(grey, png_colour::rgb);
            cv::Mat expanded;
            cv::cvtColor(grey, expanded, cv::COLOR_GRAY2BGR);
            EXPECT_TRUE(reads_back_as(expanded, png)) << size;
            const auto types = filter_types(png, 3 * size_t(size.width), size_t(size.height));
            EXPECT_EQ(types.size(), 1u);  // one filter for the whole image
            chosen.insert(types.begin(), types.end());
        }
    }
    EXPECT_EQ(chosen, (std::set<int>{0, 1, 2, 3, 4}));
}

TEST(png_writer, grey_images_read_back_as_grey_and_as_three_equal_channels) {
    for (const cv::Size size : kSizes) {
        for (const cv::Mat& grey : pictures(size, CV_8UC1)) {
            EXPECT_TRUE(reads_back_as(grey, write_png(grey, png_colour::grey))) << size;
            cv::Mat expanded;
            cv::cvtColor(grey, expanded, cv::COLOR_GRAY2BGR);
            EXPECT_TRUE(reads_back_as(expanded, write_png(grey, png_colour::rgb))) << size;
            // Parts written by two threads make one stream, whatever the height.
            EXPECT_TRUE(reads_back_as(expanded, write_png(grey, png_colour::rgb, 2))) << size;
        }
    }
}

// Tripled rows are deflated from the grey values: runs, copies of the row
// above, of pairs and of single values seen before, across two threads' parts
// and blocks of codes. Each picture stresses one of them; all must inflate (with
// zlib, whose Adler-32 check covers the whole stream) to the expanded rows.
TEST(png_writer, tripled_streams_hold_every_kind_of_copy_from_one_thread_or_two) {
    const cv::Size size(1500, 301);  // several blocks; rows under the copy window
    cv::RNG rng(5);
    cv::Mat stripes(size, CV_8UC1), tiles(size, CV_8UC1), sparse(size, CV_8UC1);
    cv::Mat noise(size, CV_8UC1);
    cv::randu(noise, 0, 256);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            stripes.at<uint8_t>(y, x) = uint8_t(x / 40 * 23 + (y % 97 == 0 ? 1 : 0));
            tiles.at<uint8_t>(y, x) = noise.at<uint8_t>(y % 7, x % 211);
            sparse.at<uint8_t>(y, x) = rng.uniform(0, 50) == 0 ? uint8_t(rng.uniform(0, 256)) : 9;
        }
    }
    cv::Mat wide(3, 12000, CV_8UC1);  // a row too long to copy from the row above
    cv::randu(wide, 0, 4);
    for (const cv::Mat& grey : {stripes, tiles, sparse, noise, wide}) {
        cv::Mat expanded;
        cv::cvtColor(grey, expanded, cv::COLOR_GRAY2BGR);
        const auto one = write_png(grey, png_colour::rgb, 1);
        const auto two = write_png(grey, png_colour::rgb, 2);
        EXPECT_TRUE(reads_back_as(expanded, one)) << grey.size();
        EXPECT_TRUE(reads_back_as(expanded, two)) << grey.size();
    }
    // Structure costs little: the stripes come to a small fraction of a byte a pixel.
    EXPECT_LT(write_png(stripes, png_colour::rgb).size(), size_t(size.area()) / 20);
}

TEST(png_writer, colour_images_read_back_in_their_channel_order) {
    for (const cv::Size size : kSizes) {
        for (const cv::Mat& colour : pictures(size, CV_8UC3))
            EXPECT_TRUE(reads_back_as(colour, write_png(colour, png_colour::rgb))) << size;
    }
}

TEST(png_writer, rows_of_a_region_are_read_through_its_stride) {
    cv::Mat whole(40, 300, CV_8UC3);
    cv::randu(whole, 0, 256);
    const cv::Mat region = whole(cv::Rect(17, 5, 101, 31));
    EXPECT_TRUE(reads_back_as(region, write_png(region, png_colour::rgb)));
    cv::Mat grey;
    cv::cvtColor(whole, grey, cv::COLOR_BGR2GRAY);
    EXPECT_TRUE(reads_back_as(grey(cv::Rect(3, 1, 255, 37)),
                              write_png(grey(cv::Rect(3, 1, 255, 37)), png_colour::grey)));
}

TEST(png_writer, an_empty_image_gives_no_file_and_other_formats_are_refused) {
    EXPECT_TRUE(write_png(cv::Mat(), png_colour::rgb).empty());
    EXPECT_THROW(write_png(cv::Mat(4, 4, CV_8UC3), png_colour::grey), std::invalid_argument);
    for (const int type : {CV_8UC2, CV_8UC4, CV_16UC1, CV_32FC3})
        EXPECT_THROW(write_png(cv::Mat(4, 4, type), png_colour::rgb), std::invalid_argument);
}
