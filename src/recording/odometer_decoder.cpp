#include "recording/odometer_decoder.h"

std::optional<uint32_t> odometer_decoder::push(uint8_t byte) {
    last4_.push_back(byte);
    last7_.push_back(byte);
    while (last4_.size() > 4)
        last4_.pop_front();
    while (last7_.size() > 7)
        last7_.pop_front();

    if (format_ == 4 && last4_.size() == 4) {
        const auto& b = last4_;
        if ((b[0] >> 6) == 0 && (b[1] >> 6) == 1 && (b[2] >> 6) == 2 && (b[3] >> 6) == 3) {
            const uint32_t value = uint32_t(b[3] & 0x3F) << 18 | uint32_t(b[2] & 0x3F) << 12 |
                                   uint32_t(b[1] & 0x3F) << 6 | uint32_t(b[0] & 0x3F);
            last4_.clear();
            return value;
        }
    }
    if (format_ == 7 && last7_.size() == 7) {
        const auto& b = last7_;
        if (b[0] == 0x53 && b[1] == 0x04 && b[6] == uint8_t(b[2] + b[3] + b[4] + b[5] + 0x57)) {
            const uint32_t value =
                uint32_t(b[2]) | uint32_t(b[3]) << 8 | uint32_t(b[4]) << 16 | uint32_t(b[5]) << 24;
            last7_.clear();
            return value;
        }
    }
    return std::nullopt;
}

void encode_odometer_old(uint32_t value, uint8_t out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = uint8_t(i << 6 | ((value >> (6 * i)) & 0x3F));
}

void encode_odometer_new(uint32_t value, uint8_t out[7]) {
    out[0] = 0x53;
    out[1] = 0x04;
    for (int i = 0; i < 4; ++i)
        out[2 + i] = uint8_t(value >> (8 * i));
    out[6] = uint8_t(out[0] + out[1] + out[2] + out[3] + out[4] + out[5]);
}
