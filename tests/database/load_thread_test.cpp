// One scan of the write folder, as the main window receives it.
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "support/event_recorder.h"
#include "database/load_thread.h"
#include "support/sample_db.h"
#include "support/test_home.h"
#include "support/wait.h"
#include "support/db_dump.h"
#include "database/ldb_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <leveldb/db.h>

namespace {

// Runs one scan of `folder` to its end and returns what it sent.
event_recorder& scan(event_recorder& window, const std::string& folder, test_home& home) {
    make_configuration_folder(configuration_file_name(home.path()));
    auto config = open_configuration(configuration_file_name(home.path()));
    config->Write(cfg::write_path, wxString(folder));
    auto link = std::make_shared<app_link>(&window, config.get());
    auto* thread = new load_thread(link);
    EXPECT_EQ(thread->Run(), wxTHREAD_NO_ERROR);
    // Detached: it is done when the link has no other owner left.
    EXPECT_TRUE(wait_until([&] { return link.use_count() == 1; }));
    link->detach();
    window.drain();
    return window;
}

}  // namespace

TEST(load_thread, three_databases_one_broken_and_ordinary_folders_passed_over) {
    test_home home;
    const std::string folder = home / "write";
    std::filesystem::create_directories(folder);
    make_database(folder + "/2024.03.05 14.07.09", {100, 105}, "A : B", "left");
    make_database(folder + "/2024.03.05 15.00.00", {7}, "C : D", "right");
    make_database(folder + "/2024.03.06 08.00.00", {1, 2, 3}, "E : F", "left");
    std::filesystem::create_directories(folder + "/notes");
    std::filesystem::create_directories(folder + "/.hidden");
    // A store whose start lands on a text: it cannot be read.
    {
        leveldb::Options options;
        options.create_if_missing = true;
        leveldb::DB* raw = nullptr;
        ASSERT_TRUE(leveldb::DB::Open(options, folder + "/broken", &raw).ok());
        std::unique_ptr<leveldb::DB> db(raw);
        ASSERT_TRUE(db->Put(leveldb::WriteOptions(), "count", "0000000001").ok());
        ASSERT_TRUE(db->Put(leveldb::WriteOptions(), "session", "x").ok());
    }
    event_recorder window;
    scan(window, folder, home);

    const auto paths = window.texts(evt_db_list);
    ASSERT_EQ(paths.size(), 3u);
    std::vector<std::string> sessions;
    for (const auto& e : window.events) {
        if (e.type == evt_db_list) sessions.push_back(e.info.session);
    }
    std::sort(sessions.begin(), sessions.end());
    EXPECT_EQ(sessions, (std::vector<std::string>{"A : B", "C : D", "E : F"}));
    for (const auto& p : paths)
        EXPECT_EQ(p.Left(folder.size() + 1), folder + "/");

    // Ordinary folders are no databases and make no row; the broken store does.
    const auto errors = window.texts(evt_log_error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "bad lexical cast: source type value could not be interpreted as target");

    // The disk-space line ends the scan, for status field 3.
    ASSERT_FALSE(window.events.empty());
    const auto& last = window.events.back();
    EXPECT_EQ(last.type, evt_thread_status);
    EXPECT_EQ(last.value, 3);
    EXPECT_TRUE(last.text.StartsWith(L"Диск: "));
}

TEST(load_thread, sessions_a_crash_left_open_are_finished_and_listed_with_their_frames) {
    test_home home;
    const std::string folder = home / "write";
    std::filesystem::create_directories(folder);
    // Killed mid-session: frames, no closing entries, and a "dpp_end" that
    // names a frame that never reached the store.
    const std::string killed = folder + "/2024.03.05 14.07.09";
    make_database(killed, {100, 105, 110}, "", "", false);
    {
        ldb_writer writer;
        writer.open(killed);
        writer.put_dpp_end(115);
        writer.release();
    }
    // Killed right after the store was made: not a session.
    make_database(folder + "/2024.03.05 15.00.00", {}, "", "", false);
    // Killed before the store existed: a folder with no store in it.
    std::filesystem::create_directories(folder + "/2024.03.05 16.00.00");
    std::ofstream(folder + "/2024.03.05 16.00.00/LOCK") << "";

    test_home config_home;
    event_recorder window;
    scan(window, folder, config_home);
    EXPECT_TRUE(window.texts(evt_log_error).empty());
    const auto paths = window.texts(evt_db_list);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], killed);
    const auto listed = std::find_if(window.events.begin(), window.events.end(),
                                     [](const recorded_event& e) { return e.type == evt_db_list; });
    const ldb_info& info = listed->info;
    EXPECT_EQ(info.count, 3u);
    EXPECT_EQ(info.dpp_start, 100u);
    EXPECT_EQ(info.dpp_end, 110u);
    EXPECT_EQ(info.session, "");
    EXPECT_EQ(info.side, "левый");  // the configured side (here its default)
    const auto rows = window.texts(evt_log_info);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], wxString(L"Незакрытый сеанс ") + killed + L" завершен: кадров 3");
    const auto stored = dump_database(killed);
    EXPECT_EQ(stored.at("count"), "0000000003");
    EXPECT_EQ(stored.at("dpp_end"), "0000000110");

    // The next start finds it closed: no second row.
    event_recorder again;
    scan(again, folder, config_home);
    EXPECT_TRUE(again.texts(evt_log_info).empty());
    EXPECT_EQ(again.texts(evt_db_list).size(), 1u);
}

TEST(load_thread, a_folder_without_subfolders_sends_nothing) {
    test_home home;
    std::filesystem::create_directories(home / "empty");
    event_recorder window;
    scan(window, home / "empty", home);
    EXPECT_TRUE(window.events.empty());
    event_recorder missing;
    scan(missing, home / "absent", home);
    EXPECT_TRUE(missing.events.empty());
}

TEST(load_thread, disk_space_is_whole_gibibytes_rounded_down) {
    const uint64_t gib = uint64_t(1) << 30;
    EXPECT_EQ(load_thread::disk_space_text("C:", 500 * gib, 123 * gib + gib * 9 / 10),
              L"Диск: C:: Всего: 500 GB Cвободно: 123 GB");
    // The first letter of the free-space word is the Latin C.
    EXPECT_NE(load_thread::disk_space_text("", 0, 0).Find(L"GB C\u0432"), wxNOT_FOUND);
}
