// Frames for the data access service: live, through the catalogue, as PNG.
#include "database/catalogue.h"
#include "database/session_code.h"
#include "database/frame_lookup.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "support/sample_db.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

namespace {

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
