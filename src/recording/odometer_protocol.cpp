#include "recording/odometer_protocol.h"

#include "runtime/byte_order.h"

using namespace odometer_message;

namespace {

// Keeps the last `size` bytes.
void slide(std::deque<uint8_t>& window, uint8_t byte, size_t size) {
    window.push_back(byte);
    while (window.size() > size)
        window.pop_front();
}

uint8_t checksum(const uint8_t* bytes) {
    unsigned sum = 0;
    for (size_t i = 0; i < kChecksumOffset; ++i)
        sum += bytes[i];
    return uint8_t(sum);
}

}  // namespace

std::optional<uint32_t> odometer_decoder::push(uint8_t byte) {
    slide(last_old_, byte, kOldSize);
    slide(last_new_, byte, kNewSize);

    if (format_ == odometer_old && last_old_.size() == kOldSize) {
        uint32_t value = 0;
        for (size_t i = 0; i < kOldSize; ++i) {
            if (last_old_[i] >> kPositionShift != i) return std::nullopt;
            value |= uint32_t(last_old_[i] & kValueBits) << (kPositionShift * i);
        }
        last_old_.clear();
        return value;
    }
    if (format_ == odometer_new && last_new_.size() == kNewSize) {
        uint8_t m[kNewSize];
        std::copy(last_new_.begin(), last_new_.end(), m);
        if (m[0] != kHeader0 || m[1] != kHeader1 || m[kChecksumOffset] != checksum(m)) {
            return std::nullopt;
        }
        last_new_.clear();
        return get_le32(m + kValueOffset);
    }
    return std::nullopt;
}

void encode_odometer_old(uint32_t value, uint8_t out[kOldSize]) {
    for (size_t i = 0; i < kOldSize; ++i)
        out[i] = uint8_t(i << kPositionShift | ((value >> (kPositionShift * i)) & kValueBits));
}

void encode_odometer_new(uint32_t value, uint8_t out[kNewSize]) {
    out[0] = kHeader0;
    out[1] = kHeader1;
    put_le32(out + kValueOffset, value);
    out[kChecksumOffset] = checksum(out);
}
