// Frames for the data access service: from the live database, through the
// catalogue, and encoded for transfer.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

// "%1% : %2%", or empty when either part is empty.
std::string make_session_code(const std::string& a, const std::string& b);

// 640 x 480 black 8-bit image with one white line of text at (15, 15).
cv::Mat not_found_image(const std::string& text);

// The frame at or after `value` in the live database; the not-found image
// "Requested frame not found [value]" when nothing decodes there.
void live_frame(uint32_t value, cv::Mat& image);

// The caller holds catalogue::lock() shared. The first catalogue entry with
// exactly this session whose range holds `value`, read at or after `value`;
// the not-found image "Requested frame not found [session:value]" without one.
// Throws the store's status text when the entry's database cannot be opened.
void catalogue_frame(const std::string& session, uint32_t value, cv::Mat& image);

// PNG (compression 5) behind its byte length as 4 little-endian bytes.
std::vector<uint8_t> encode_frame_png(const cv::Mat& image);
