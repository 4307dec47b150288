// Byte forms of keys and values, and the strict number conversion.
#include "database/ldb_format.h"
#include "database/session_folder.h"

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

TEST(ldb_format, frame_keys_are_exactly_ten_digits) {
    EXPECT_TRUE(is_frame_key("0000000105"));
    EXPECT_TRUE(is_frame_key(frame_key(4294967295u)));
    EXPECT_FALSE(is_frame_key("000000010"));
    EXPECT_FALSE(is_frame_key("00000001050"));
    EXPECT_FALSE(is_frame_key("000000010x"));
    EXPECT_FALSE(is_frame_key("count"));
}

TEST(ldb_format, session_folder_names_both_ways) {
    const std::time_t opened = 1709647629;
    const std::string name = session_folder_name(opened);
    const auto local = parse_session_folder_name(name);
    ASSERT_TRUE(local.has_value());
    std::tm copy = *local;
    EXPECT_EQ(std::mktime(&copy), opened);

    const auto t = parse_session_folder_name("2024.02.29 23.59.60");
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->tm_year, 124);
    EXPECT_EQ(t->tm_mon, 1);
    EXPECT_EQ(t->tm_mday, 29);
    EXPECT_EQ(t->tm_sec, 60);
    for (const char* bad : {"2023.02.29 10.00.00", "2024.04.31 10.00.00", "2024.13.01 10.00.00",
                            "2024.3.05 14.07.09", "2024.03.05 14.07.09 ", "2024.03.05_14.07.09",
                            "2024.03.05 24.00.00", "../2024.03.05 1", "", "2024.03.05 14.07.0x"}) {
        EXPECT_FALSE(parse_session_folder_name(bad).has_value()) << bad;
    }
}
