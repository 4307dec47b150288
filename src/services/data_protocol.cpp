#include "services/data_protocol.h"

#include "database/session_code.h"
#include "runtime/byte_order.h"
#include "services/protocol_fields.h"

using namespace data_request_layout;

std::string data_request::session_code() const {
    return make_session_code(first, second);
}

data_request parse_data_request(const request_bytes& bytes) {
    return {get_text_field(bytes, kFirstOffset, kFirstSize),
            get_text_field(bytes, kSecondOffset, kSecondSize),
            get_le32(bytes.data() + kValueOffset)};
}

request_bytes encode_data_request(const std::string& first, const std::string& second,
                                  uint32_t value) {
    request_bytes bytes{};
    put_text_field(bytes, kFirstOffset, kFirstSize, first);
    put_text_field(bytes, kSecondOffset, kSecondSize, second);
    put_le32(bytes.data() + kValueOffset, value);
    return bytes;
}

std::vector<uint8_t> frame_reply(const std::vector<uint8_t>& png) {
    std::vector<uint8_t> reply(kReplyHeaderSize + png.size());
    put_le32(reply.data(), static_cast<uint32_t>(png.size()));
    std::copy(png.begin(), png.end(), reply.begin() + kReplyHeaderSize);
    return reply;
}

uint32_t reply_length(const uint8_t header[kReplyHeaderSize]) {
    return get_le32(header);
}
