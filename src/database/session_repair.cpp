#include "database/session_repair.h"

#include "database/ldb_format.h"
#include "database/session_folder.h"
#include "database/shared_store.h"

#include <leveldb/db.h>

#include <memory>

session_repair finish_unclosed_session(const std::string& path, const std::string& side,
                                       const std::string& session) {
    if (!holds_store(path)) return {session_repair::not_a_session, 0};
    shared_store::release(path);  // a reader's idle handle would hold the folder
    leveldb::Options options;
    options.create_if_missing = false;
    leveldb::DB* raw = nullptr;
    throw_if_failed(leveldb::DB::Open(options, path, &raw));
    std::unique_ptr<leveldb::DB> db(raw);
    if (exact_read(*db, ldb_key::count)) return {session_repair::closed, 0};

    uint64_t count = 0;
    std::string first, last;
    {
        std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
        for (it->SeekToFirst(); it->Valid() && is_frame_key({it->key().data(), it->key().size()});
             it->Next()) {
            if (count++ == 0) first = it->key().ToString();
            last = it->key().ToString();
        }
    }
    if (count == 0) return {session_repair::not_a_session, 0};

    // Single puts, "count" last: a repair cut short is done again next time.
    auto put = [&](const char* key, const std::string& value, bool sync = false) {
        leveldb::WriteOptions write;
        write.sync = sync;
        throw_if_failed(db->Put(write, key, value));
    };
    put(ldb_key::dpp_start, first);
    put(ldb_key::dpp_end, last);
    const auto time_start = exact_read(*db, ldb_key::time_start);
    const auto time_end = exact_read(*db, ldb_key::time_end);
    const auto named = session_folder_time(path);
    const std::optional<std::string> fallback =
        named ? std::optional<std::string>(time_text(*named)) : std::nullopt;
    if (!time_start) {
        if (const auto t = time_end ? time_end : fallback) put(ldb_key::time_start, *t);
    }
    if (!time_end) {
        if (const auto t = time_start ? time_start : fallback) put(ldb_key::time_end, *t);
    }
    if (!exact_read(*db, ldb_key::session)) put(ldb_key::session, session);
    if (!exact_read(*db, ldb_key::side)) put(ldb_key::side, side);
    put(ldb_key::count, count_text(count), true);
    return {session_repair::finished, count};
}
