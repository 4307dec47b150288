// Decodes odometer messages from the serial byte stream, one byte at a time.
//
// Old format (4 bytes): the top two bits of each byte give its position
// (00, 01, 10, 11), the low six bits carry value bits 0-5, 6-11, 12-17, 18-23.
// New format (7 bytes): 0x53 0x04, the value as 32 bits least significant
// byte first, and the sum of the first six bytes modulo 256.
//
// Both formats keep a sliding window of the last bytes; only the configured
// one is examined. A window that does not match shifts on with the next
// byte, so a message is found after any number of stray bytes; one that
// matches is emptied. Not thread-safe: one reader.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>

class odometer_decoder {
  public:
    // format: 4 (old) or 7 (new).
    explicit odometer_decoder(int format) : format_(format) {}

    // The value completed by this byte, if any.
    std::optional<uint32_t> push(uint8_t byte);

    int format() const { return format_; }

  private:
    int format_;
    std::deque<uint8_t> last4_;
    std::deque<uint8_t> last7_;
};

// The 4 or 7 bytes of a message carrying the value (old format: low 24 bits).
void encode_odometer_old(uint32_t value, uint8_t out[4]);
void encode_odometer_new(uint32_t value, uint8_t out[7]);
