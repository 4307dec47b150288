// The coordinate server's query and answer bytes.
#include "recording/coordinate_protocol.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(coordinate_protocol, query_is_64_bytes_of_fixed_layout) {
    const auto q = coordinate_query();
    ASSERT_EQ(q.size(), 64u);
    EXPECT_EQ(std::memcmp(q.data(), "CXQUEST2", 8), 0);
    for (int i = 8; i < 16; ++i)
        EXPECT_EQ(q[i], 0) << i;
    EXPECT_EQ(q[16], 1);
    for (int i = 17; i < 64; ++i)
        EXPECT_EQ(q[i], 0) << i;
}

TEST(coordinate_protocol, answer_texts_at_581_and_613_form_the_code) {
    coordinate_answer_bytes by_hand{};
    std::memcpy(by_hand.data() + 581, "A12", 3);
    by_hand[613] = '7';
    EXPECT_EQ(session_code_of_answer(by_hand), "A12 : 7");
    auto answer = coordinate_answer("A12", "7");
    EXPECT_EQ(answer, by_hand);
    EXPECT_EQ(session_code_of_answer(answer), "A12 : 7");
    EXPECT_EQ(session_code_of_answer(coordinate_answer("A12", "")), "");
    EXPECT_EQ(session_code_of_answer(coordinate_answer("", "7")), "");
}

TEST(coordinate_protocol, texts_end_at_their_field_without_a_terminator) {
    coordinate_answer_bytes answer{};
    std::memset(answer.data() + 581, 'x', 32);          // fills its field to the next one
    std::memset(answer.data() + 613, 'y', 1024 - 613);  // runs to the buffer's end
    const std::string code = session_code_of_answer(answer);
    EXPECT_EQ(code, std::string(32, 'x') + " : " + std::string(1024 - 613, 'y'));
}
