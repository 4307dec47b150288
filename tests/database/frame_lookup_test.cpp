// Frames for the data access service: live, through the catalogue, as PNG.
#include "database/catalogue.h"
#include "database/session_code.h"
#include "database/frame_lookup.h"
#include "database/ldb_reader.h"
#include "database/ldb_format.h"
#include "database/ldb_writer.h"
#include "support/sample_db.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <leveldb/db.h>
#include <opencv2/imgcodecs.hpp>

namespace {

// What a client decoded from the reply before: OpenCV's PNG of the image.
cv::Mat opencv_answer(const cv::Mat& image) {
    std::vector<uint8_t> png;
    cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 5});
    return cv::imdecode(png, cv::IMREAD_UNCHANGED);
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
    const cv::Mat differ = a != b;
    return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(differ.reshape(1)) == 0;
}

double brightness(const cv::Mat& image) {
    return image.empty() ? -1 : cv::mean(image)[0];
}

class catalogue_test : public testing::Test {
  protected:
    void SetUp() override { catalogue::instance().clear(); }
    void TearDown() override { catalogue::instance().clear(); }
    void add(const std::string& path) {
        ldb_reader reader(path);
        catalogue::instance().append({reader.read_info(), path});
    }
    test_home dir;
};

}  // namespace

TEST(frame_lookup, session_code_joins_two_nonempty_parts) {
    EXPECT_EQ(make_session_code("12", "ab"), "12 : ab");
    EXPECT_EQ(make_session_code("", "ab"), "");
    EXPECT_EQ(make_session_code("12", ""), "");
}

TEST(frame_lookup, the_not_found_image_is_text_on_black_and_survives_png) {
    const cv::Mat image = not_found_image("Requested frame not found [7]");
    ASSERT_EQ(image.cols, 640);
    ASSERT_EQ(image.rows, 480);
    EXPECT_EQ(image.type(), CV_8UC1);
    const auto png = encode_png(image);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png[0], 0x89);  // PNG signature
    EXPECT_TRUE(encode_png(cv::Mat()).empty());
    const cv::Mat back = cv::imdecode(png, cv::IMREAD_UNCHANGED);
    EXPECT_EQ(cv::countNonZero(back != image), 0);
    // The text is white on black, near the top left.
    EXPECT_GT(cv::countNonZero(back(cv::Rect(15, 0, 300, 20))), 50);
    EXPECT_EQ(cv::countNonZero(back(cv::Rect(0, 40, 640, 440))), 0);
}

TEST(frame_lookup, live_frame_seeks_and_answers_not_found_beyond_the_last) {
    test_home dir;
    ldb_writer& live = ldb_writer::live();
    live.open(dir / "live");
    for (uint32_t v : {100u, 105u, 110u})
        live.put_frame(sample_frame(v), v);
    cv::Mat image;
    live_frame(103, image);
    EXPECT_NEAR(brightness(image), sample_brightness(105), 1.0);
    live_frame(111, image);
    EXPECT_EQ(image.size(), cv::Size(640, 480));
    cv::Mat expected = not_found_image("Requested frame not found [111]");
    EXPECT_EQ(cv::countNonZero(image != expected), 0);
    live.close("", "");
}

TEST_F(catalogue_test, the_first_matching_entry_wins_and_codes_are_case_sensitive) {
    make_database(dir / "one", {100, 105, 110}, "A : B", "x");
    make_database(dir / "two", {90, 120}, "A : B", "x");
    add(dir / "one");
    add(dir / "two");
    cv::Mat image;
    catalogue_frame("A : B", 103, image);
    EXPECT_NEAR(brightness(image), sample_brightness(105), 1.0);
    catalogue_frame("A : B", 95, image);  // only the second holds 95
    EXPECT_NEAR(brightness(image), sample_brightness(120), 1.0);
    catalogue_frame("a : b", 105, image);
    EXPECT_EQ(cv::countNonZero(image != not_found_image("Requested frame not found [a : b:105]")),
              0);
    catalogue_frame("A : B", 121, image);
    EXPECT_EQ(image.size(), cv::Size(640, 480));
}

TEST(frame_lookup, frame_pngs_read_back_as_before) {
    test_home dir;
    ldb_writer& live = ldb_writer::live();
    live.open(dir / "live");
    live.put_frame(sample_frame(100, 2047, 3), 100);
    cv::Mat colour(5, 3, CV_8UC3);  // a colour JPEG, which the recorder never stores
    cv::randu(colour, 0, 256);
    live.put_frame(colour, 105);
    for (const uint32_t value : {99u, 103u, 105u, 106u}) {
        cv::Mat image;
        live_frame(value, image);
        const auto png = live_frame_png(value);
        EXPECT_TRUE(same_pixels(cv::imdecode(encode_png(image), cv::IMREAD_UNCHANGED),
                                cv::imdecode(live_frame_png(value, 2), cv::IMREAD_UNCHANGED)))
            << value;
        EXPECT_TRUE(same_pixels(opencv_answer(image), cv::imdecode(png, cv::IMREAD_UNCHANGED)));
    }
    live.close("", "");
}

TEST_F(catalogue_test, catalogue_frame_pngs_read_back_as_before_or_are_empty_as_before) {
    make_database(dir / "db", {100, 110}, "A : B", "x");
    {
        leveldb::DB* raw = nullptr;  // values the station's writer would not store
        ASSERT_TRUE(leveldb::DB::Open(leveldb::Options(), dir / "db", &raw).ok());
        std::unique_ptr<leveldb::DB> db(raw);
        std::vector<uint8_t> progressive;
        cv::imencode(".jpg", sample_frame(7, 33, 17), progressive,
                     {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
        db->Put({}, frame_key(103), std::string(progressive.begin(), progressive.end()));
        db->Put({}, frame_key(105), "\xFF\xD8\xFF\xC0");  // a cut header
    }
    add(dir / "db");
    for (const uint32_t value : {100u, 103u}) {
        cv::Mat image;
        catalogue_frame("A : B", value, image);
        const auto png = catalogue_frame_png("A : B", value);
        EXPECT_TRUE(
            same_pixels(cv::imdecode(encode_png(image), cv::IMREAD_UNCHANGED),
                        cv::imdecode(catalogue_frame_png("A : B", value, 2), cv::IMREAD_UNCHANGED)))
            << value;
        EXPECT_TRUE(same_pixels(opencv_answer(image), cv::imdecode(png, cv::IMREAD_UNCHANGED)));
    }
    EXPECT_TRUE(catalogue_frame_png("A : B", 104).empty());
    const auto missing = catalogue_frame_png("a : b", 105);
    EXPECT_TRUE(same_pixels(not_found_image("Requested frame not found [a : b:105]"),
                            cv::imdecode(missing, cv::IMREAD_UNCHANGED)));
}
