// The JSON the fleet store's files are written in (the session manifest, the
// upload state): a strict reader and the pieces of a writer. Plain code over
// bytes, safe from any thread.
//
// Texts are byte strings. Valid UTF-8 is written as it stands; every byte
// that is not part of valid UTF-8 is written as the escape of a lone low
// surrogate, \udc80 to \udcff for the bytes 0x80 to 0xff (the "surrogate
// escape" Python's codecs know), so any byte string survives the round trip
// and a UTF-8 text reads plainly in any JSON reader. The reader turns those
// escapes back into their bytes and refuses every other lone surrogate.
//
// The reader takes RFC 8259 JSON only: one value, no comments, no trailing
// commas, no duplicate member names, raw text valid UTF-8, nesting at most
// 64 deep. Numbers keep their literal text; the typed reads check it.
// Failures throw json_error with the byte offset.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class json_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct json_member;

class json_value {
  public:
    enum class kind { null, boolean, number, string, array, object };

    kind type = kind::null;
    bool boolean = false;
    std::string text;  // a string's bytes, or a number's literal
    std::vector<json_value> items;
    std::vector<json_member> members;  // in the order written

    // The member named `name`, or null when there is none (or this is no object).
    const json_value* find(std::string_view name) const;
};

struct json_member {
    std::string name;
    json_value value;
};

json_value parse_json(std::string_view text);

// Typed reads of a number's literal; nothing that is not exactly such a
// number passes (no fraction, exponent or sign where the type has none).
bool json_to_u64(const json_value& v, uint64_t& out);
bool json_to_i64(const json_value& v, int64_t& out);
bool json_to_double(const json_value& v, double& out);

// Appends `bytes` as a quoted JSON string, escaped as above.
void append_json_string(std::string& out, std::string_view bytes);
// The shortest text that reads back as exactly `value` (finite values only).
std::string json_number(double value);
