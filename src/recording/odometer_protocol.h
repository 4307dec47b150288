// The odometer's messages on its serial line, in one place.
//
// Old format (4 bytes): the top two bits of each byte give its position
// (00, 01, 10, 11), the low six bits carry value bits 0-5, 6-11, 12-17, 18-23.
// New format (7 bytes): 0x53 0x04, the value as 32 bits least significant
// byte first, and the sum of the first six bytes modulo 256.
//
// The decoder keeps a sliding window of the last bytes of each format; only
// the configured one is examined. A window that does not match shifts on with
// the next byte, so a message is found after any number of stray bytes; one
// that matches is emptied. Not thread-safe: one reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

// The two message formats; each is named by its length, as the status line shows it.
enum odometer_format : int { odometer_old = 4, odometer_new = 7 };

namespace odometer_message {
// Old format: each byte is (position << kPositionShift) | six value bits.
constexpr size_t kOldSize = 4;
constexpr unsigned kPositionShift = 6;
constexpr uint8_t kValueBits = 0x3F;
// New format: header, value (32-bit little-endian), checksum of bytes 0-5.
constexpr size_t kNewSize = 7;
constexpr uint8_t kHeader0 = 0x53;  // 'S'
constexpr uint8_t kHeader1 = 0x04;
constexpr size_t kValueOffset = 2;
constexpr size_t kChecksumOffset = 6;
}  // namespace odometer_message

class odometer_decoder {
  public:
    explicit odometer_decoder(odometer_format format) : format_(format) {}

    // The value completed by this byte, if any.
    std::optional<uint32_t> push(uint8_t byte);

    odometer_format format() const { return format_; }

  private:
    odometer_format format_;
    std::deque<uint8_t> last_old_;
    std::deque<uint8_t> last_new_;
};

// The 4 or 7 bytes of a message carrying the value (old format: low 24 bits).
void encode_odometer_old(uint32_t value, uint8_t out[odometer_message::kOldSize]);
void encode_odometer_new(uint32_t value, uint8_t out[odometer_message::kNewSize]);
