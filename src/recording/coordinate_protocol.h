// Bytes of the coordinate server protocol, with no socket in them.
//
// Query: 64 bytes, "CXQUEST2", a 64-bit zero, a 32-bit little-endian 1, zeros.
// Answer: up to 1024 bytes; the first session text at offset 581 (at most 32
// bytes with its NUL), the second at 613, ending at its NUL or the buffer's end.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kCoordinateQuerySize = 64;
constexpr size_t kCoordinateAnswerSize = 1024;
constexpr size_t kFirstTextOffset = 581;
constexpr size_t kSecondTextOffset = 613;

std::array<uint8_t, kCoordinateQuerySize> coordinate_query();

// The session code "%1% : %2%" of an answer buffer, or "" unless both texts
// are filled. Each text ends at its NUL or at the end of its field.
std::string session_code_of_answer(const std::array<uint8_t, kCoordinateAnswerSize>& answer);

// An answer carrying the two texts (for simulators and tests); texts longer
// than their fields are cut.
std::array<uint8_t, kCoordinateAnswerSize> coordinate_answer(const std::string& first,
                                                             const std::string& second);
