// Bytes of the data access protocol, with no socket in them.
//
// Request, exactly 1024 bytes: the first session part at 0 (20 bytes), the
// second at 20 (16 bytes), each ended by a NUL within its field; the odometer
// value at 36 (unsigned 32-bit little-endian); the rest unused.
// Reply: n, unsigned 32-bit little-endian, then n bytes of PNG; n = 0 means
// there is no image and nothing follows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kRequestSize = 1024;

namespace data_request_layout {
constexpr size_t kFirstOffset = 0;
constexpr size_t kFirstSize = 20;
constexpr size_t kSecondOffset = 20;
constexpr size_t kSecondSize = 16;
constexpr size_t kValueOffset = 36;
}  // namespace data_request_layout

constexpr size_t kReplyHeaderSize = 4;  // the length n

using request_bytes = std::array<uint8_t, kRequestSize>;

struct data_request {
    std::string first;
    std::string second;
    uint32_t value = 0;
    // "%1% : %2%", empty when either part is empty.
    std::string session_code() const;
};

data_request parse_data_request(const request_bytes& bytes);
// Parts longer than their fields are cut so that each keeps its NUL.
request_bytes encode_data_request(const std::string& first, const std::string& second,
                                  uint32_t value);

// The reply carrying `png` behind its length; an empty `png` gives the four
// zero bytes of "no image".
std::vector<uint8_t> frame_reply(const std::vector<uint8_t>& png);

// n of a reply's first four bytes.
uint32_t reply_length(const uint8_t header[kReplyHeaderSize]);
