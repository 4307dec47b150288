#include "database/ldb_format.h"

#include "runtime/text_encoding.h"

#include <boost/lexical_cast.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

std::string frame_key(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%010u", value);
    return text;
}

bool is_frame_key(const leveldb::Slice& key) {
    return key.size() == 10 && std::all_of(key.data(), key.data() + key.size(),
                                           [](char c) { return c >= '0' && c <= '9'; });
}

uint32_t frame_value(const leveldb::Slice& key) {
    uint32_t value = 0;
    for (size_t i = 0; i < key.size(); ++i)
        value = value * 10 + uint32_t(key[i] - '0');
    return value;
}

std::string count_text(uint64_t count) {
    char text[32];
    std::snprintf(text, sizeof(text), "%010llu", static_cast<unsigned long long>(count));
    return text;
}

std::string time_text(std::time_t seconds) {
    return std::to_string(static_cast<long long>(seconds));
}

uint32_t parse_u32(const std::string& text) {
    return boost::lexical_cast<uint32_t>(text);
}

uint64_t parse_u64(const std::string& text) {
    return boost::lexical_cast<uint64_t>(text);
}

int64_t parse_i64(const std::string& text) {
    return boost::lexical_cast<int64_t>(text);
}

std::string local_time_text(std::time_t seconds) {
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

std::optional<std::string> exact_read(leveldb::DB& db, const std::string& key) {
    std::unique_ptr<leveldb::Iterator> it(db.NewIterator(leveldb::ReadOptions()));
    it->Seek(key);
    if (it->Valid() && it->key() == key) return it->value().ToString();
    return std::nullopt;
}

std::optional<std::string> seeking_read(leveldb::DB& db, const std::string& key) {
    std::unique_ptr<leveldb::Iterator> it(db.NewIterator(leveldb::ReadOptions()));
    it->Seek(key);
    if (it->Valid()) return it->value().ToString();
    return std::nullopt;
}

uint32_t seeking_number(leveldb::DB& db, const char* key) {
    const auto text = seeking_read(db, key);
    return text ? parse_u32(*text) : 0;
}

std::optional<std::time_t> parse_time(const std::string& text) {
    const int64_t seconds = parse_i64(text);
    if (seconds == -1) return std::nullopt;
    return static_cast<std::time_t>(seconds);
}

uint64_t approximate_size(leveldb::DB& db, const std::string& from, const std::string& to) {
    const leveldb::Range range(from, to);
    uint64_t size = 0;
    db.GetApproximateSizes(&range, 1, &size);
    return size;
}

void throw_if_failed(const leveldb::Status& status) {
    if (!status.ok()) throw std::runtime_error(status.ToString());
}

bool holds_store(const std::string& folder) {
    struct stat info {};
    return ::stat((folder + "/CURRENT").c_str(), &info) == 0;
}

std::string no_data_text() {
    return to_narrow(L"нет данных");
}

namespace {

std::string exact_text(leveldb::DB& db, const char* key) {
    return exact_read(db, key).value_or(no_data_text());
}

std::string seeking_time(leveldb::DB& db, const char* key, bool* missing = nullptr) {
    const auto text = seeking_read(db, key);
    if (missing) *missing = !text;
    if (!text) return {};
    const auto seconds = parse_time(*text);
    return seconds ? local_time_text(*seconds) : std::string();
}

std::string key_at_or_after(leveldb::DB& db, const std::string& key) {
    std::unique_ptr<leveldb::Iterator> it(db.NewIterator(leveldb::ReadOptions()));
    it->Seek(key);
    return it->Valid() ? it->key().ToString() : std::string();
}

}  // namespace

uint64_t frame_range_size(leveldb::DB& db, uint32_t start, uint32_t end) {
    const std::string from = key_at_or_after(db, frame_key(start));
    const std::string to = key_at_or_after(db, frame_key(end));
    return from < to ? approximate_size(db, from, to) : 0;
}

ldb_info read_info(leveldb::DB& db, bool* missing_start) {
    ldb_info info;
    info.session = exact_text(db, ldb_key::session);
    info.orientation = exact_text(db, ldb_key::orientation);
    info.side = exact_text(db, ldb_key::side);
    info.time_start = seeking_time(db, ldb_key::time_start, missing_start);
    info.time_end = seeking_time(db, ldb_key::time_end);
    info.dpp_start = seeking_number(db, ldb_key::dpp_start);
    info.dpp_end = seeking_number(db, ldb_key::dpp_end);
    info.version = seeking_read(db, ldb_key::version).value_or(std::string());
    info.size = frame_range_size(db, info.dpp_start, info.dpp_end);
    const auto count = exact_read(db, ldb_key::count);
    info.count = count ? parse_u32(*count) : 0;
    return info;
}
