// Shared read handles: one per database, closed when nobody holds them.
#include "database/ldb_reader.h"
#include "database/shared_store.h"
#include "support/sample_db.h"
#include "support/test_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>
#include <leveldb/db.h>

#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace {

// True when another user of the folder (here a second open in this
// process, which the store refuses while any handle holds the folder)
// could open the database now.
bool free_for_others(const std::string& path) {
    leveldb::Options options;
    leveldb::DB* raw = nullptr;
    const bool ok = leveldb::DB::Open(options, path, &raw).ok();
    delete raw;
    return ok;
}

}  // namespace

TEST(shared_store, an_idle_handle_is_closed_by_itself_within_seconds) {
    test_home dir;
    make_database(dir / "db", {100, 105}, "A : B", "left");
    {
        ldb_reader reader(dir / "db");
        EXPECT_EQ(reader.read_count(), 2u);
        EXPECT_FALSE(free_for_others(dir / "db"));
    }
    // Nobody reads it any more: no later open is needed for it to go.
    EXPECT_TRUE(wait_until([&] { return free_for_others(dir / "db"); }, std::chrono::seconds(10)));
}

TEST(shared_store, a_handle_in_use_is_never_closed_under_its_reader) {
    test_home dir;
    make_database(dir / "db", {100, 105, 110}, "A : B", "left");
    ldb_reader reader(dir / "db");
    // Longer than an idle handle lives: the time itself is what is tested.
    std::this_thread::sleep_for(shared_store::idle_lifetime() + std::chrono::seconds(1));
    EXPECT_FALSE(free_for_others(dir / "db"));
    EXPECT_EQ(reader.read_info().count, 3u);
    cv::Mat frame;
    reader.frame_at(110, frame);
    EXPECT_FALSE(frame.empty());
}

TEST(shared_store, readers_opening_one_database_at_once_share_one_handle) {
    test_home dir;
    make_database(dir / "db", {100}, "A : B", "left");
    constexpr int kReaders = 8;
    std::vector<std::shared_ptr<leveldb::DB>> handles(kReaders);
    std::vector<std::string> errors(kReaders);
    std::vector<std::thread> threads;
    for (int i = 0; i < kReaders; ++i) {
        threads.emplace_back([&, i] {
            try {
                handles[i] = shared_store::open(dir / "db");
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kReaders; ++i) {
        EXPECT_EQ(errors[i], "") << i;
        EXPECT_EQ(handles[i], handles[0]) << i;
    }
    handles.clear();
    shared_store::release(dir / "db");
    EXPECT_TRUE(free_for_others(dir / "db"));
}

TEST(shared_store, a_failed_open_is_reported_to_every_reader_and_leaves_nothing) {
    test_home dir;
    std::vector<std::thread> threads;
    std::vector<std::string> errors(4);
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            try {
                shared_store::open(dir / "absent");
            } catch (const std::exception& e) {
                errors[i] = e.what();
            }
        });
    }
    for (auto& t : threads)
        t.join();
    for (const auto& e : errors)
        EXPECT_NE(e.find("does not exist"), std::string::npos) << e;
    EXPECT_FALSE(std::filesystem::exists(dir / "absent"));
}
