// The remote command from any bytes (padded or cut to 1024): its code is
// bytes 4 to 7 low byte first, its texts end within their fields, and a
// command encoded from what was read is read back the same.
#include "fuzz_check.h"
#include "services/rc_protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace rc_command_layout;
    command_bytes bytes{};
    std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    const rc_command command = parse_rc_command(bytes);
    FUZZ_CHECK(static_cast<uint32_t>(command.code) ==
               (uint32_t(bytes[4]) | uint32_t(bytes[5]) << 8 | uint32_t(bytes[6]) << 16 |
                uint32_t(bytes[7]) << 24));
    FUZZ_CHECK(command.first.size() <= kFirstSize);
    FUZZ_CHECK(command.second.size() <= kSecondSize);
    FUZZ_CHECK(command.first.find('\0') == std::string::npos);
    FUZZ_CHECK(command.second.find('\0') == std::string::npos);
    const std::string code = command.session_code();
    FUZZ_CHECK(code.empty() == (command.first.empty() || command.second.empty()));
    if (command.first.size() < kFirstSize && command.second.size() < kSecondSize) {
        const rc_command again =
            parse_rc_command(encode_rc_command(command.code, command.first, command.second));
        FUZZ_CHECK(again.code == command.code && again.first == command.first &&
                   again.second == command.second);
    }
    return 0;
}
