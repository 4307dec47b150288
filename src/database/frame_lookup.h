// Frames for the data access service: from the live database, through the
// catalogue, and encoded as PNG for transfer. Safe from any thread.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

// 640 x 480 black 8-bit image with one white line of text at (15, 15).
cv::Mat not_found_image(const std::string& text);

// The frame at or after `value` in the live database; the not-found image
// "Requested frame not found [value]" when nothing decodes there.
void live_frame(uint32_t value, cv::Mat& image);

// Read at or after `value` from the first catalogue entry with exactly this
// session whose range holds `value`; the not-found image "Requested frame
// not found [session:value]" when there is none. Throws the store's status
// text when the entry's database cannot be opened.
void catalogue_frame(const std::string& session, uint32_t value, cv::Mat& image);

// The PNG file of an 8-bit image: grey for one channel, red, green and blue
// for three (given in OpenCV's blue-green-red order); empty for an empty
// image. Other images throw std::invalid_argument.
std::vector<uint8_t> encode_png(const cv::Mat& image);

// The PNG a data request answers with: the pixels encode_png gives for the
// image live_frame or catalogue_frame finds (empty where that image is
// empty), with the same failures. A frame stored as a grey JPEG is decoded
// as grey and tripled into red, green and blue as it is written, which spares
// the three-channel decoding; `threads` (1 or 2) may deflate such a frame,
// for a caller that knows a core is free (write_png).
std::vector<uint8_t> live_frame_png(uint32_t value, int threads = 1);
std::vector<uint8_t> catalogue_frame_png(const std::string& session, uint32_t value,
                                         int threads = 1);
// The PNG those two give for a frame's stored bytes; empty when the bytes
// are no image.
std::vector<uint8_t> stored_frame_png(const std::string& bytes, int threads = 1);
