// The GigE Vision discovery exchange of a camera asked for by address, byte by byte.
#include "camera/sdk/gvcp_discovery.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// A DISCOVERY_ACK as a camera sends it, with its bootstrap registers.
std::vector<uint8_t> ack(uint16_t id, uint16_t status = 0, uint16_t command = 3) {
    std::vector<uint8_t> bytes(8 + 0xF8, 0);
    bytes[0] = uint8_t(status >> 8);
    bytes[1] = uint8_t(status);
    bytes[2] = uint8_t(command >> 8);
    bytes[3] = uint8_t(command);
    bytes[4] = 0;
    bytes[5] = 0xF8;
    bytes[6] = uint8_t(id >> 8);
    bytes[7] = uint8_t(id);
    uint8_t* r = bytes.data() + 8;
    const uint8_t mac[6] = {0x00, 0x0c, 0xdf, 0x04, 0xa1, 0xff};
    std::memcpy(r + 0x0A, mac, 6);
    const uint8_t ip[4] = {192, 168, 10, 21};
    std::memcpy(r + 0x24, ip, 4);
    std::strcpy(reinterpret_cast<char*>(r + 0x48), "JAI Corporation");
    std::memcpy(r + 0x68, "LT-400CL-GE 0123456789 0123456789", 32);  // fills its field
    std::strcpy(reinterpret_cast<char*>(r + 0xD8), "U512345");
    std::strcpy(reinterpret_cast<char*>(r + 0xE8), "left");
    return bytes;
}

}  // namespace

TEST(gvcp_discovery, the_request_asks_for_an_acknowledged_discovery) {
    EXPECT_EQ(gvcp_discovery_request(0x1234),
              (std::vector<uint8_t>{0x42, 0x01, 0x00, 0x02, 0x00, 0x00, 0x12, 0x34}));
}

TEST(gvcp_discovery, an_answer_gives_the_cameras_address_names_and_serial) {
    const auto device = parse_gvcp_discovery_ack(ack(0x1234), 0x1234);
    ASSERT_TRUE(device.has_value());
    EXPECT_EQ(device->mac, "00-0c-df-04-a1-ff");
    EXPECT_EQ(device->ip, "192.168.10.21");
    EXPECT_EQ(device->manufacturer, "JAI Corporation");
    EXPECT_EQ(device->model, "LT-400CL-GE 0123456789 012345678");  // 32 bytes, no NUL
    EXPECT_EQ(device->serial, "U512345");
    EXPECT_EQ(device->user_name, "left");
}

TEST(gvcp_discovery, anything_but_a_successful_answer_to_our_request_is_nothing) {
    EXPECT_FALSE(parse_gvcp_discovery_ack(ack(0x1234), 0x1235));           // another request
    EXPECT_FALSE(parse_gvcp_discovery_ack(ack(0x1234, 0x8001), 0x1234));   // an error status
    EXPECT_FALSE(parse_gvcp_discovery_ack(ack(0x1234, 0, 0x81), 0x1234));  // a READREG_ACK
    auto cut = ack(0x1234);
    cut.resize(cut.size() - 1);
    EXPECT_FALSE(parse_gvcp_discovery_ack(cut, 0x1234));
    EXPECT_FALSE(parse_gvcp_discovery_ack({}, 0x1234));
}

TEST(gvcp_discovery, an_address_that_is_no_address_is_not_asked) {
    EXPECT_FALSE(gvcp_discover("camera.local", std::chrono::milliseconds(10)));
}
