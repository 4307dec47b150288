// Bytes of the coordinate server protocol, with no socket in them.
//
// Query: 64 bytes, sent as one block: "CXQUEST2" at 0, a 64-bit zero at 8, a
// 32-bit little-endian 1 at 16, zeros to the end.
// Answer: up to 1024 bytes, of which only two texts are read: the first
// session text at 581 (at most 32 bytes with its NUL), the second at 613,
// ending at its NUL or at the buffer's end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kCoordinateQuerySize = 64;
constexpr size_t kCoordinateAnswerSize = 1024;

namespace coordinate_query_layout {
constexpr size_t kMagicOffset = 0;  // "CXQUEST2", no terminator
constexpr size_t kMagicSize = 8;
constexpr size_t kZeroOffset = 8;  // unsigned 64-bit, 0
constexpr size_t kOneOffset = 16;  // unsigned 32-bit little-endian, 1
}  // namespace coordinate_query_layout

namespace coordinate_answer_layout {
constexpr size_t kFirstTextOffset = 581;
constexpr size_t kSecondTextOffset = 613;
constexpr size_t kFirstTextSize = kSecondTextOffset - kFirstTextOffset;  // with its NUL
}  // namespace coordinate_answer_layout

using coordinate_query_bytes = std::array<uint8_t, kCoordinateQuerySize>;
using coordinate_answer_bytes = std::array<uint8_t, kCoordinateAnswerSize>;

coordinate_query_bytes coordinate_query();

// The session code "%1% : %2%" of an answer buffer, or "" unless both texts
// are filled. Each text ends at its NUL or at the end of its field.
std::string session_code_of_answer(const coordinate_answer_bytes& answer);

// An answer carrying the two texts (for simulators and tests); texts longer
// than their fields are cut so that each keeps its NUL.
coordinate_answer_bytes coordinate_answer(const std::string& first, const std::string& second);
