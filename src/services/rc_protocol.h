// Bytes of the remote control protocol, with no socket in them.
//
// Command, exactly 1024 bytes: bytes 0-3 unused; the code at 4 (32-bit
// little-endian, an rc_code); the first session part at 8 (20 bytes), the
// second from 28 to the end, each ended by a NUL within its field.
// Reply: 1024 zero bytes, sent for every command received whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kCommandSize = 1024;

// Codes of remote commands (also evt_rc_command's int); any other code is an
// empty command.
enum rc_code : int32_t {
    rc_start_recording = 1,  // start capture and recording, if idle with a camera open
    rc_stop = 2,             // stop the running mode
    rc_new_session = 3,      // journal the code; a recording goes on under it
};

namespace rc_command_layout {
constexpr size_t kCodeOffset = 4;
constexpr size_t kFirstOffset = 8;
constexpr size_t kFirstSize = 20;
constexpr size_t kSecondOffset = 28;
constexpr size_t kSecondSize = kCommandSize - kSecondOffset;
}  // namespace rc_command_layout

using command_bytes = std::array<uint8_t, kCommandSize>;

struct rc_command {
    int32_t code = 0;
    std::string first;
    std::string second;
    // "%1% : %2%", empty when either part is empty.
    std::string session_code() const;
};

rc_command parse_rc_command(const command_bytes& bytes);
// Parts longer than their fields are cut so that each keeps its NUL.
command_bytes encode_rc_command(int32_t code, const std::string& first = {},
                                const std::string& second = {});

// The acknowledgement of a command.
inline constexpr command_bytes kCommandReply{};
