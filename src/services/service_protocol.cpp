#include "services/service_protocol.h"

#include "database/frame_lookup.h"

#include <boost/lexical_cast.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace {

template <size_t N>
std::string field(const std::array<uint8_t, N>& bytes, size_t offset, size_t size) {
    const auto begin = bytes.begin() + offset;
    const auto end = bytes.begin() + std::min(offset + size, N);
    return std::string(begin, std::find(begin, end, uint8_t(0)));
}

template <size_t N>
void put_field(std::array<uint8_t, N>& bytes, size_t offset, size_t size, const std::string& text) {
    // One byte of the field stays for the terminator.
    std::memcpy(bytes.data() + offset, text.data(), std::min(text.size(), size - 1));
}

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void put_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

std::string data_request::session_code() const {
    return make_session_code(first, second);
}

std::string rc_command::session_code() const {
    return make_session_code(first, second);
}

data_request parse_data_request(const request_bytes& bytes) {
    return {field(bytes, 0, 20), field(bytes, 20, 16), le32(bytes.data() + 36)};
}

request_bytes encode_data_request(const std::string& first, const std::string& second,
                                  uint32_t value) {
    request_bytes bytes{};
    put_field(bytes, 0, 20, first);
    put_field(bytes, 20, 16, second);
    put_le32(bytes.data() + 36, value);
    return bytes;
}

rc_command parse_rc_command(const command_bytes& bytes) {
    return {static_cast<int32_t>(le32(bytes.data() + 4)), field(bytes, 8, 20),
            field(bytes, 28, kCommandSize - 28)};
}

command_bytes encode_rc_command(int32_t code, const std::string& first, const std::string& second) {
    command_bytes bytes{};
    put_le32(bytes.data() + 4, static_cast<uint32_t>(code));
    put_field(bytes, 8, 20, first);
    put_field(bytes, 28, kCommandSize - 28, second);
    return bytes;
}

std::string discovery_service_name(const std::string& side_utf8) {
    return side_utf8 == "левый" ? "undercam_left" : "undercam_right";
}

std::optional<std::string> discovery_answer(const std::string& query,
                                            const std::string& service_name) {
    namespace pt = boost::property_tree;
    pt::ptree tree;
    std::istringstream in(query);
    pt::read_json(in, tree);
    if (tree.get<std::string>("type", "") != "query") return std::nullopt;
    const std::string service = tree.get<std::string>("service", "");
    if (service != "any" && service != service_name) return std::nullopt;
    tree.put("type", "answer");
    tree.put("service", service_name);
    std::ostringstream out;
    pt::write_json(out, tree, true);
    return out.str();
}

std::string discovery_query(const std::string& service) {
    namespace pt = boost::property_tree;
    pt::ptree tree;
    tree.put("type", "query");
    tree.put("service", service);
    std::ostringstream out;
    pt::write_json(out, tree, false);
    return out.str();
}

unsigned short service_port(const std::string& text) {
    return static_cast<unsigned short>(boost::lexical_cast<unsigned long>(text) & 0xFFFF);
}
