// The pixel formats the station records: Mono8 as it is, and Mono10, Mono12
// and Mono16 unpacked (one little-endian 16-bit word per pixel, the value in
// its low bits). Every other GenICam format is refused.
#pragma once

#include "camera/sdk/Jai_Factory.h"

#include <cstdint>

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
