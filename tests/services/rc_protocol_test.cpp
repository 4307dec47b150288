// Remote commands, byte by byte.
#include "services/rc_protocol.h"

#include <gtest/gtest.h>

TEST(rc_protocol, command_layout_by_hand_and_back) {
    auto one = encode_rc_command(1);
    for (size_t i = 0; i < one.size(); ++i)
        EXPECT_EQ(one[i], i == 4 ? 1 : 0) << i;
    auto three = encode_rc_command(3, "A", "B");
    for (size_t i = 0; i < three.size(); ++i) {
        const uint8_t expected = i == 4 ? 3 : i == 8 ? 0x41 : i == 28 ? 0x42 : 0;
        EXPECT_EQ(three[i], expected) << i;
    }
    EXPECT_EQ(parse_rc_command(three).session_code(), "A : B");
    EXPECT_EQ(parse_rc_command(three).code, 3);
    EXPECT_EQ(parse_rc_command(encode_rc_command(3, "A", "")).session_code(), "");

    command_bytes negative{};
    negative[4] = negative[5] = negative[6] = negative[7] = 0xFF;
    EXPECT_EQ(parse_rc_command(negative).code, -1);
    EXPECT_EQ(encode_rc_command(-1), negative);
    EXPECT_EQ(kCommandReply, command_bytes{});
}

TEST(rc_protocol, fields_end_at_their_bounds_without_a_terminator) {
    command_bytes command{};
    std::fill(command.begin(), command.end(), uint8_t('y'));
    const rc_command c = parse_rc_command(command);
    EXPECT_EQ(c.first, std::string(20, 'y'));
    EXPECT_EQ(c.second, std::string(1024 - 28, 'y'));
    const rc_command cut = parse_rc_command(encode_rc_command(3, std::string(25, 'a'), "b"));
    EXPECT_EQ(cut.first, std::string(19, 'a'));
    EXPECT_EQ(cut.second, "b");
}
