// Pixel formats, in one place: the bits a GenICam format gives each pixel,
// and the formats the station records: Mono8 as it is, and Mono10, Mono12
// and Mono16 unpacked (one little-endian 16-bit word per pixel, the value in
// its low bits). Every other GenICam format is refused.
#pragma once

#include "camera/sdk/Jai_Factory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

// Bits 16 to 23 of a GenICam pixel format: the bits a pixel occupies, raised
// to 8 if smaller.
inline uint32_t pixel_format_bits(uint64_t pixel_format) {
    return std::max<uint32_t>(8, uint32_t((pixel_format >> 16) & 0xFF));
}

// Bytes a pixel occupies in a buffer.
inline size_t pixel_format_bytes(uint64_t pixel_format) {
    return (pixel_format_bits(pixel_format) + 7) / 8;
}

// Significant bits of a recorded pixel format's values; 0 for any other format.
inline uint32_t pixel_depth(uint64_t pixel_format) {
    switch (pixel_format) {
        case J_GVSP_PIX_MONO8:
            return 8;
        case J_GVSP_PIX_MONO10:
            return 10;
        case J_GVSP_PIX_MONO12:
            return 12;
        case J_GVSP_PIX_MONO16:
            return 16;
        default:
            return 0;
    }
}

// The right shift that brings a pixel's value to 8 bits: by its depth for a
// recorded format, by the bits it occupies (at most 16) for any other.
inline uint32_t pixel_shift_to_8(uint64_t pixel_format) {
    const uint32_t depth = pixel_depth(pixel_format);
    return (depth ? depth : std::min<uint32_t>(pixel_format_bits(pixel_format), 16)) - 8;
}
