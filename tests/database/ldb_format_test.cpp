// Byte forms of keys and values, and the strict number conversion.
#include "database/ldb_format.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {
const char* const kBadCast =
    "bad lexical cast: source type value could not be interpreted as target";

std::string error_of(const std::string& text) {
    try {
        parse_u32(text);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no error";
}
}  // namespace

TEST(ldb_format, frame_keys_are_ten_digits_and_sort_numerically_before_metadata) {
    EXPECT_EQ(frame_key(0), "0000000000");
    EXPECT_EQ(frame_key(7), "0000000007");
    EXPECT_EQ(frame_key(4294967295u), "4294967295");
    EXPECT_LT(frame_key(99), frame_key(100));
    EXPECT_LT(frame_key(4294967295u), std::string("count"));
    EXPECT_EQ(count_text(0), "0000000000");
    EXPECT_EQ(count_text(12345678901ull), "12345678901");
    EXPECT_EQ(time_text(1700000000), "1700000000");
    EXPECT_EQ(time_text(-5), "-5");
}

TEST(ldb_format, numbers_parse_whole_texts_only) {
    EXPECT_EQ(parse_u32("0000000105"), 105u);
    EXPECT_EQ(parse_u32("+7"), 7u);
    EXPECT_EQ(parse_u32("4294967295"), 4294967295u);
    EXPECT_EQ(parse_u32("-1"), 4294967295u);
    EXPECT_EQ(parse_i64("-1"), -1);
    EXPECT_EQ(error_of("A : B"), kBadCast);
    EXPECT_EQ(error_of("12 "), kBadCast);
    EXPECT_EQ(error_of(""), kBadCast);
    EXPECT_EQ(error_of("4294967296"), kBadCast);
    EXPECT_FALSE(parse_time("-1").has_value());
    EXPECT_EQ(parse_time("1700000000").value(), 1700000000);
}

TEST(ldb_format, local_time_is_iso_date_and_time) {
    const std::string text = local_time_text(1700000000);
    ASSERT_EQ(text.size(), 19u);
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[10], ' ');
    EXPECT_EQ(text[13], ':');
}
