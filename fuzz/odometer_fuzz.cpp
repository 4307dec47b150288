// Odometer messages of both formats from any byte stream. The first byte
// chooses the format (odd: new, 7 bytes; even: old, 4 bytes); the rest is the
// serial line. The decoder must deliver exactly what a plain re-reading of
// its rule delivers: a window of the last bytes since the last message is a
// message when it is the encoding of the value it carries.
#include "fuzz_check.h"
#include "recording/odometer_protocol.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// The value a window carries if it is a message, by encoding it again.
bool is_message(const std::vector<uint8_t>& window, odometer_format format, uint32_t& value) {
    uint8_t encoded[odometer_message::kNewSize];
    if (format == odometer_new) {
        value = uint32_t(window[2]) | uint32_t(window[3]) << 8 | uint32_t(window[4]) << 16 |
                uint32_t(window[5]) << 24;
        encode_odometer_new(value, encoded);
    } else {
        value = 0;
        for (size_t i = 0; i < odometer_message::kOldSize; ++i)
            value |= uint32_t(window[i] & 0x3F) << (6 * i);
        encode_odometer_old(value, encoded);
    }
    return std::memcmp(encoded, window.data(), window.size()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const odometer_format format = (data[0] & 1) ? odometer_new : odometer_old;
    const size_t length =
        format == odometer_new ? odometer_message::kNewSize : odometer_message::kOldSize;
    // The stream, then one whole message carrying a value taken from it.
    std::vector<uint8_t> stream(data + 1, data + size);
    const uint32_t value =
        stream.size() >= 4
            ? uint32_t(stream[0]) << 16 | uint32_t(stream[1]) << 8 | stream[stream.size() - 1]
            : 77;
    uint8_t message[odometer_message::kNewSize];
    if (format == odometer_new) {
        encode_odometer_new(value, message);
    } else {
        encode_odometer_old(value, message);
    }
    const size_t message_at = stream.size();
    stream.insert(stream.end(), message, message + length);

    odometer_decoder decoder(format);
    std::vector<uint8_t> window;
    bool delivered_inside_message = false;
    std::optional<uint32_t> at_end;
    for (size_t i = 0; i < stream.size(); ++i) {
        const auto got = decoder.push(stream[i]);
        if (i + 1 == stream.size()) at_end = got;
        window.push_back(stream[i]);
        if (window.size() > length) window.erase(window.begin());
        uint32_t carried = 0;
        const bool expected = window.size() == length && is_message(window, format, carried);
        FUZZ_CHECK(got.has_value() == expected);
        if (!expected) continue;
        FUZZ_CHECK(*got == carried);
        FUZZ_CHECK(format == odometer_new || *got < (1u << 24));
        window.clear();
        if (i >= message_at && i + 1 < stream.size()) delivered_inside_message = true;
    }
    // Resynchronisation: after any bytes at all, a whole message is found,
    // unless another message ended inside it.
    if (!delivered_inside_message) {
        FUZZ_CHECK(at_end && *at_end == (format == odometer_new ? value : value & 0xFFFFFF));
    }
    return 0;
}
