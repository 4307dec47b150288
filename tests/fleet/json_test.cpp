// The JSON of the fleet store's files: any bytes survive, UTF-8 reads
// plainly elsewhere, and the reader takes nothing loose.
#include "fleet/json.h"
#include "support/station_process.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

std::string round_trip(const std::string& bytes) {
    std::string text;
    append_json_string(text, bytes);
    return parse_json(text).text;
}

std::string json_of(const std::string& bytes) {
    std::string text;
    append_json_string(text, bytes);
    return text;
}

}  // namespace

TEST(fleet_json, any_bytes_survive_and_utf8_stays_readable) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(round_trip(all), all);
    // Texts in a single-byte encoding, a cut sequence, an encoded surrogate.
    for (const std::string& bytes : {std::string("\xEB\xE5\xE2\xFB\xE9"), std::string("A\xD0"),
                                     std::string("\xED\xB2\x80"), std::string("\0x\0", 3)}) {
        EXPECT_EQ(round_trip(bytes), bytes);
    }
    const std::string cyrillic = "левый : \"Б\\В\"\n";
    EXPECT_EQ(json_of(cyrillic), "\"левый : \\\"Б\\\\В\\\"\\u000a\"");
    EXPECT_EQ(json_of("\xFF"), "\"\\udcff\"");
}

TEST(fleet_json, another_reader_reads_utf8_plainly_and_recovers_other_bytes) {
    test_home dir;
    std::string text = "[";
    append_json_string(text, "А : Б");
    text += ", ";
    append_json_string(text, "\xC1\xFF ok");
    text += "]";
    std::ofstream(dir / "t.json") << text;
    const std::string out = shell_output(
        "/usr/bin/python3 -c 'import json,sys; v=json.load(open(sys.argv[1])); "
        "sys.stdout.buffer.write(v[0].encode() + b\"|\" + v[1].encode(\"utf-8\", "
        "\"surrogateescape\"))' '" +
        (dir / "t.json") + "'");
    EXPECT_EQ(out, "А : Б|\xC1\xFF ok");
}

TEST(fleet_json, reader_refuses_what_is_not_strict_json) {
    for (const char* bad : {"",
                            "{",
                            "{\"a\": 1,}",
                            "[1, 2,]",
                            "{\"a\": 1, \"a\": 2}",
                            "// c\n{}",
                            "{} {}",
                            "\"\\ud800\"",
                            "\"\\udc41\"",
                            "\"\\ud800\\u0041\"",
                            "\"\xC3\"",
                            "\"\xC0\xAF\"",
                            "\"a\tb\"",
                            "01",
                            "1.",
                            "-",
                            "+1",
                            "tru",
                            "nul",
                            "'a'",
                            "\"\\x41\"",
                            "[1 2]"}) {
        EXPECT_THROW(parse_json(bad), json_error) << bad;
    }
    EXPECT_THROW(parse_json(std::string(65, '[') + std::string(65, ']')), json_error);
    EXPECT_NO_THROW(parse_json(std::string(64, '[') + std::string(64, ']')));
    try {
        parse_json("{\"a\": [1, 2,]}");
        FAIL();
    } catch (const json_error& e) {
        EXPECT_STREQ(e.what(), "JSON: value expected at byte 12");
    }
}

TEST(fleet_json, numbers_are_read_only_as_what_they_are) {
    const json_value v = parse_json(
        "[18446744073709551615, 18446744073709551616, -5, 1.5, 1e3, 0.9950248756218906]");
    uint64_t u = 0;
    int64_t i = 0;
    double d = 0;
    EXPECT_TRUE(json_to_u64(v.items[0], u));
    EXPECT_EQ(u, UINT64_MAX);
    EXPECT_FALSE(json_to_u64(v.items[1], u));
    EXPECT_FALSE(json_to_u64(v.items[2], u));
    EXPECT_TRUE(json_to_i64(v.items[2], i));
    EXPECT_EQ(i, -5);
    EXPECT_FALSE(json_to_i64(v.items[3], i));
    EXPECT_FALSE(json_to_u64(v.items[4], u));
    EXPECT_TRUE(json_to_double(v.items[5], d));
    EXPECT_EQ(json_number(d), "0.9950248756218906");
    EXPECT_EQ(json_number(1.0), "1");
    const json_value s = parse_json("\"x\"");
    EXPECT_FALSE(json_to_u64(s, u));
}
