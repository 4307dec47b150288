#include "database/ldb_format.h"

#include <boost/lexical_cast.hpp>

#include <cstdio>
#include <memory>
#include <stdexcept>

std::string frame_key(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "%010u", value);
    return text;
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
