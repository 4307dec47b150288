// PNG files of 8-bit images, written for speed: every row takes the same
// filter, the one that predicts a sample of the image's rows best, and the
// image data is deflated at a fast level, so a frame costs a fraction of what
// a writer that tries every filter on every row spends. A decoder reads back
// exactly the image's pixels; the bytes differ from other writers'.
//
// Safe from any thread: nothing is shared. Each calling thread keeps its
// working memory (about twice the image's unpacked size) until it ends, so a
// connection serving frame after frame reuses the pages its first frame
// touched instead of paying for fresh ones each time.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

// Colour type of the file: 8-bit grey, or 8-bit red, green and blue.
enum class png_colour { grey, rgb };

// The PNG file of `image`; empty for an empty image.
//  grey: `image` has one channel.
//  rgb:  `image` has three channels in OpenCV's order (blue, green, red), as
//        cv::imencode would write them; or it has one channel, and each value
//        goes into all three channels: the file decodes to the pixels of the
//        same image expanded to three equal channels, and is written from
//        the grey values (tripled_deflate), a fraction of the work.
// `threads` (1 or 2) is how many threads may deflate a one-channel image for
// the rgb colour type; the caller gives 2 only when a core is free for it.
// Throws std::invalid_argument for any other depth or channel count, and
// std::length_error for an image too large for one PNG data chunk.
std::vector<uint8_t> write_png(const cv::Mat& image, png_colour colour, int threads = 1);
