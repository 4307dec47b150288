// The data access request from any bytes (padded or cut to 1024): its texts
// end within their fields, its value is bytes 36 to 39 low byte first, and a
// request encoded from what was read is read back the same.
#include "fuzz_check.h"
#include "services/data_protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace data_request_layout;
    request_bytes bytes{};
    std::memcpy(bytes.data(), data, std::min(size, bytes.size()));
    const data_request request = parse_data_request(bytes);
    FUZZ_CHECK(request.first.size() <= kFirstSize);
    FUZZ_CHECK(request.second.size() <= kSecondSize);
    FUZZ_CHECK(request.first.find('\0') == std::string::npos);
    FUZZ_CHECK(request.second.find('\0') == std::string::npos);
    FUZZ_CHECK(request.value == (uint32_t(bytes[36]) | uint32_t(bytes[37]) << 8 |
                                 uint32_t(bytes[38]) << 16 | uint32_t(bytes[39]) << 24));
    const std::string code = request.session_code();
    FUZZ_CHECK(code.empty() == (request.first.empty() || request.second.empty()));
    if (!code.empty()) FUZZ_CHECK(code == request.first + " : " + request.second);
    if (request.first.size() < kFirstSize && request.second.size() < kSecondSize) {
        const data_request again =
            parse_data_request(encode_data_request(request.first, request.second, request.value));
        FUZZ_CHECK(again.first == request.first && again.second == request.second &&
                   again.value == request.value);
    }
    // Any n goes behind its length, low byte first.
    const std::vector<uint8_t> png(data, data + std::min<size_t>(size, 64));
    const auto reply = frame_reply(png);
    FUZZ_CHECK(reply.size() == kReplyHeaderSize + png.size());
    FUZZ_CHECK(reply_length(reply.data()) == png.size());
    return 0;
}
