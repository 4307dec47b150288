// The newest frame as an 8-bit image: each recorded format by its own depth.
#include "camera/frame_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A one-line frame of 16-bit pixels in the given format.
void set_wide(frame_buffer& frame, int64_t format, const std::vector<uint16_t>& values) {
    frame.width = int64_t(values.size());
    frame.height = 1;
    frame.pixel_format = format;
    frame.bits_per_pixel = pixel_format_bits(format);
    frame.pixels.resize(values.size() * 2);
    std::memcpy(frame.pixels.data(), values.data(), frame.pixels.size());  // little-endian host
}

std::vector<int> gray_of(frame_buffer& frame) {
    cv::Mat image;
    copy_gray8(frame, image);
    return std::vector<int>(image.data, image.data + image.total());
}

}  // namespace

TEST(frame_buffer, wide_formats_map_their_whole_range_onto_eight_bits) {
    frame_buffer frame;
    set_wide(frame, J_GVSP_PIX_MONO10, {0, 4, 512, 1020, 1023});
    EXPECT_EQ(gray_of(frame), (std::vector<int>{0, 1, 128, 255, 255}));
    set_wide(frame, J_GVSP_PIX_MONO12, {0, 16, 2048, 4080, 4095});
    EXPECT_EQ(gray_of(frame), (std::vector<int>{0, 1, 128, 255, 255}));
    set_wide(frame, J_GVSP_PIX_MONO16, {0, 256, 32768, 65280, 65535});
    EXPECT_EQ(gray_of(frame), (std::vector<int>{0, 1, 128, 255, 255}));
}

TEST(frame_buffer, values_above_a_formats_depth_saturate) {
    frame_buffer frame;
    set_wide(frame, J_GVSP_PIX_MONO10, {1024, 4095, 65535});
    EXPECT_EQ(gray_of(frame), (std::vector<int>{255, 255, 255}));
}

TEST(frame_buffer, mono8_is_copied_as_it_is_and_a_short_frame_is_padded_with_black) {
    frame_buffer frame;
    frame.width = 4;
    frame.height = 2;
    frame.pixel_format = J_GVSP_PIX_MONO8;
    frame.pixels = {1, 2, 3, 250, 9};  // fewer bytes than the geometry holds
    EXPECT_EQ(gray_of(frame), (std::vector<int>{1, 2, 3, 250, 9, 0, 0, 0}));
}
