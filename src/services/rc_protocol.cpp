#include "services/rc_protocol.h"

#include "database/session_code.h"
#include "runtime/byte_order.h"
#include "services/protocol_fields.h"

using namespace rc_command_layout;

std::string rc_command::session_code() const {
    return make_session_code(first, second);
}

rc_command parse_rc_command(const command_bytes& bytes) {
    return {static_cast<int32_t>(get_le32(bytes.data() + kCodeOffset)),
            get_text_field(bytes, kFirstOffset, kFirstSize),
            get_text_field(bytes, kSecondOffset, kSecondSize)};
}

command_bytes encode_rc_command(int32_t code, const std::string& first, const std::string& second) {
    command_bytes bytes{};
    put_le32(bytes.data() + kCodeOffset, static_cast<uint32_t>(code));
    put_text_field(bytes, kFirstOffset, kFirstSize, first);
    put_text_field(bytes, kSecondOffset, kSecondSize, second);
    return bytes;
}
