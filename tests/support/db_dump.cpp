#include "support/db_dump.h"

#include "database/shared_store.h"

#include <gtest/gtest.h>
#include <leveldb/db.h>

#include <memory>

namespace {

template <typename F>
void each_entry(const std::string& path, F&& visit) {
    shared_store::release(path);
    leveldb::DB* raw = nullptr;
    const leveldb::Status status = leveldb::DB::Open(leveldb::Options(), path, &raw);
    EXPECT_TRUE(status.ok()) << path << ": " << status.ToString();
    if (!status.ok()) return;
    std::unique_ptr<leveldb::DB> db(raw);
    std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
    for (it->SeekToFirst(); it->Valid(); it->Next())
        visit(it->key().ToString(), it->value().ToString());
}

}  // namespace

std::map<std::string, std::string> dump_database(const std::string& path) {
    std::map<std::string, std::string> entries;
    each_entry(path, [&](std::string key, std::string value) {
        entries.emplace(std::move(key), std::move(value));
    });
    return entries;
}

std::vector<std::string> database_keys(const std::string& path) {
    std::vector<std::string> keys;
    each_entry(path, [&](std::string key, const std::string&) { keys.push_back(std::move(key)); });
    return keys;
}

std::string record_text(const ldb_info& info) {
    return "session: " + info.session + "\norientation: " + info.orientation +
           "\nside: " + info.side + "\ntime_start: " + info.time_start +
           "\ntime_end: " + info.time_end + "\ndpp_start: " + std::to_string(info.dpp_start) +
           "\ndpp_end: " + std::to_string(info.dpp_end) + "\nversion: " + info.version +
           "\nsize: " + std::to_string(info.size) + "\ncount: " + std::to_string(info.count) + "\n";
}
