// Narrow text fields of fixed size inside the services' byte buffers: a text
// ends at its first NUL or at the end of its field, whichever comes first,
// and nothing is read beyond the field or the buffer.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

template <size_t N>
std::string get_text_field(const std::array<uint8_t, N>& bytes, size_t offset, size_t size) {
    const auto begin = bytes.begin() + offset;
    const auto end = bytes.begin() + std::min(offset + size, N);
    return std::string(begin, std::find(begin, end, uint8_t(0)));
}

// Writes the text, cut so that one byte of the field stays for its NUL.
template <size_t N>
void put_text_field(std::array<uint8_t, N>& bytes, size_t offset, size_t size,
                    const std::string& text) {
    std::memcpy(bytes.data() + offset, text.data(), std::min(text.size(), size - 1));
}
