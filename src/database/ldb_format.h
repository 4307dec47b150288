// The stored format of a session database, in one place: keys, the byte
// forms of values, and the two kinds of single-entry read. Other programs
// read these databases with their own bindings, so nothing here may drift.
//
// Key space: ten-digit frame keys first (digits sort before letters), then
// "count", "dpp_end", "dpp_start", "orientation", "session", "side",
// "time_end", "time_start", "version". A seek beyond the last frame lands on
// a metadata entry.
#pragma once

#include "database/ldb_info.h"

#include <leveldb/db.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace ldb_key {
inline constexpr const char* version = "version";
inline constexpr const char* dpp_start = "dpp_start";
inline constexpr const char* dpp_end = "dpp_end";
inline constexpr const char* time_start = "time_start";
inline constexpr const char* time_end = "time_end";
inline constexpr const char* count = "count";
inline constexpr const char* session = "session";
inline constexpr const char* side = "side";
inline constexpr const char* orientation = "orientation";
}  // namespace ldb_key

// "%010u": 0 -> "0000000000", 4294967295 -> "4294967295".
std::string frame_key(uint32_t value);
// Exactly ten decimal digits; every metadata key begins with a letter.
bool is_frame_key(const leveldb::Slice& key);
// The odometer value of a key for which is_frame_key holds.
uint32_t frame_value(const leveldb::Slice& key);
// At least ten digits, zero-padded.
std::string count_text(uint64_t count);
// Plain signed decimal seconds.
std::string time_text(std::time_t seconds);

// Strict whole-text decimal conversions; leading zeros and one sign accepted
// ("-" wraps modulo 2^32 for the unsigned form). Anything else throws
// "bad lexical cast: source type value could not be interpreted as target".
uint32_t parse_u32(const std::string& text);
uint64_t parse_u64(const std::string& text);
int64_t parse_i64(const std::string& text);

// Local "YYYY-MM-DD HH:MM:SS".
std::string local_time_text(std::time_t seconds);

// Exact read: the value of `key` itself. Seeking read: the value of the first
// entry at or after `key`, whatever its key. Each uses an iterator of its own.
std::optional<std::string> exact_read(leveldb::DB& db, const std::string& key);
std::optional<std::string> seeking_read(leveldb::DB& db, const std::string& key);

// The seeking read of a number entry ("dpp_start", "dpp_end"): 0 when
// nothing follows the key; throws the number conversion's text.
uint32_t seeking_number(leveldb::DB& db, const char* key);

// Seconds from a stored time text; "-1" means unknown.
std::optional<std::time_t> parse_time(const std::string& text);

// The store's approximate size of [from, to), at its full 64-bit width.
uint64_t approximate_size(leveldb::DB& db, const std::string& from, const std::string& to);

// Failure of a store operation, carrying the store's status text.
void throw_if_failed(const leveldb::Status& status);

// True when the folder holds a store at all: the store's "CURRENT" file is
// there. Checked before any open, so that a folder that is no database is
// never given the store's files.
bool holds_store(const std::string& folder);

// What a missing "session", "orientation" or "side" reads as: "нет данных",
// in narrow form.
std::string no_data_text();

// The record of a database, as every reader makes it, the live one included:
// exact reads of "session", "orientation", "side" (no_data_text() when
// missing) and "count" (0); seeking reads of "time_start" and "time_end"
// (texts only when known), "dpp_start", "dpp_end" (0) and "version" ("");
// size: the store's estimate from the first key at or after the frame key of
// dpp start to the first at or after that of dpp end. `missing_start` tells
// that no entry at all lies at or after "time_start". Throws the number
// conversion's text for a number entry that holds something else.
ldb_info read_info(leveldb::DB& db, bool* missing_start = nullptr);

// The size estimate of read_info for the range between two frame values.
uint64_t frame_range_size(leveldb::DB& db, uint32_t start, uint32_t end);
