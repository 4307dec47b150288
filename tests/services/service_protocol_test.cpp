// Byte layouts of requests and commands; the discovery answer's JSON.
#include "services/service_protocol.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(service_protocol, data_request_layout) {
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
}

TEST(service_protocol, fields_end_at_their_bounds_without_a_terminator) {
    request_bytes bytes{};
    std::fill(bytes.begin(), bytes.end(), uint8_t('z'));  // no NUL anywhere
    const data_request r = parse_data_request(bytes);
    EXPECT_EQ(r.first, std::string(20, 'z'));
    EXPECT_EQ(r.second, std::string(16, 'z'));
    command_bytes command{};
    std::fill(command.begin(), command.end(), uint8_t('y'));
    const rc_command c = parse_rc_command(command);
    EXPECT_EQ(c.first, std::string(20, 'y'));
    EXPECT_EQ(c.second, std::string(1024 - 28, 'y'));
}

TEST(service_protocol, remote_command_layout) {
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
}

TEST(service_protocol, discovery_answers_with_the_tree_of_the_query) {
    EXPECT_EQ(discovery_service_name("левый"), "undercam_left");
    EXPECT_EQ(discovery_service_name("правый"), "undercam_right");
    EXPECT_EQ(discovery_service_name("Левый"), "undercam_right");
    EXPECT_EQ(discovery_answer(R"({"type":"query","service":"any"})", "undercam_left"),
              "{\n    \"type\": \"answer\",\n    \"service\": \"undercam_left\"\n}\n");
    // Member order and other members are kept; every value becomes a string.
    EXPECT_EQ(discovery_answer(R"({"service":"any","id":7,"type":"query"})", "undercam_right"),
              "{\n    \"service\": \"undercam_right\",\n    \"id\": \"7\",\n    \"type\": "
              "\"answer\"\n}\n");
    EXPECT_TRUE(discovery_answer(R"({"type":"query","service":"undercam_left"})", "undercam_left"));
    EXPECT_FALSE(
        discovery_answer(R"({"type":"query","service":"UNDERCAM_LEFT"})", "undercam_left"));
    EXPECT_FALSE(
        discovery_answer(R"({"type":"query","service":"undercam_right"})", "undercam_left"));
    EXPECT_FALSE(discovery_answer(R"({"type":"answer","service":"any"})", "undercam_left"));
    EXPECT_FALSE(discovery_answer(R"({"service":"any"})", "undercam_left"));
    EXPECT_THROW(discovery_answer(R"({"type":"query",)", "undercam_left"), std::exception);
}

TEST(service_protocol, port_texts_are_decimal_numbers) {
    EXPECT_EQ(service_port("12600"), 12600);
    EXPECT_EQ(service_port("65537"), 1);  // low 16 bits
    EXPECT_THROW(service_port("twelve"), std::exception);
    EXPECT_THROW(service_port(""), std::exception);
}
