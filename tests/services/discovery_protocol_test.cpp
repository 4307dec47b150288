// Discovery datagrams: the answer is the query's own tree.
#include "services/discovery_protocol.h"
#include "services/service_thread.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(discovery_protocol, discovery_answers_with_the_tree_of_the_query) {
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

TEST(discovery_protocol, the_query_asks_for_a_service_by_name) {
    const std::string query = discovery_query("any");
    EXPECT_LE(query.size(), kDiscoveryDatagramSize);
    EXPECT_TRUE(discovery_answer(query, "undercam_left"));
    EXPECT_FALSE(discovery_answer(discovery_query("undercam_right"), "undercam_left"));
}

TEST(service_thread, port_texts_are_decimal_numbers) {
    EXPECT_EQ(service_port("12600"), 12600);
    EXPECT_EQ(service_port("65537"), 1);  // low 16 bits
    EXPECT_THROW(service_port("twelve"), std::exception);
    EXPECT_THROW(service_port(""), std::exception);
}
