// Data access requests and replies, byte by byte.
#include "services/data_protocol.h"

#include <gtest/gtest.h>

TEST(data_protocol, request_layout_by_hand_and_back) {
    const auto bytes = encode_data_request("A", "B", 105);
    ASSERT_EQ(bytes.size(), 1024u);
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uint8_t expected = i == 0 ? 0x41 : i == 20 ? 0x42 : i == 36 ? 0x69 : 0;
        EXPECT_EQ(bytes[i], expected) << i;
    }
    const data_request r = parse_data_request(bytes);
    EXPECT_EQ(r.session_code(), "A : B");
    EXPECT_EQ(r.value, 105u);
    EXPECT_EQ(parse_data_request(encode_data_request("", "B", 1)).session_code(), "");

    request_bytes by_hand{};
    by_hand[0] = '1';
    by_hand[1] = '2';
    by_hand[20] = 'a';
    by_hand[36] = 0x78;
    by_hand[37] = 0x56;
    by_hand[38] = 0x34;
    by_hand[39] = 0x12;
    const data_request h = parse_data_request(by_hand);
    EXPECT_EQ(h.session_code(), "12 : a");
    EXPECT_EQ(h.value, 0x12345678u);
    EXPECT_EQ(encode_data_request("12", "a", 0x12345678u), by_hand);
}

TEST(data_protocol, fields_end_at_their_bounds_and_long_parts_keep_their_terminator) {
    request_bytes bytes{};
    std::fill(bytes.begin(), bytes.end(), uint8_t('z'));  // no NUL anywhere
    const data_request r = parse_data_request(bytes);
    EXPECT_EQ(r.first, std::string(20, 'z'));
    EXPECT_EQ(r.second, std::string(16, 'z'));
    const data_request cut =
        parse_data_request(encode_data_request(std::string(30, 'x'), std::string(30, 'y'), 7));
    EXPECT_EQ(cut.first, std::string(19, 'x'));
    EXPECT_EQ(cut.second, std::string(15, 'y'));
    EXPECT_EQ(cut.value, 7u);
}

TEST(data_protocol, reply_carries_its_length_low_byte_first) {
    const std::vector<uint8_t> png(70000, 0xAB);
    const auto reply = frame_reply(png);
    ASSERT_EQ(reply.size(), 70004u);
    EXPECT_EQ((std::vector<uint8_t>(reply.begin(), reply.begin() + 4)),
              (std::vector<uint8_t>{0x70, 0x11, 0x01, 0x00}));
    EXPECT_EQ(reply_length(reply.data()), 70000u);
    EXPECT_TRUE(std::equal(png.begin(), png.end(), reply.begin() + 4));
    EXPECT_EQ(frame_reply({}), (std::vector<uint8_t>{0, 0, 0, 0}));
}
