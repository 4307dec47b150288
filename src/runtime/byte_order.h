// Little-endian integers in byte buffers, as every wire format of the
// station carries them (low byte first). No alignment is assumed.
#pragma once

#include <cstddef>
#include <cstdint>

inline uint32_t get_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void put_le32(uint8_t* p, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        p[i] = uint8_t(value >> (8 * i));
}
