// One scan of the write folder, as the main window receives it.
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "runtime/worker_threads.h"
#include "support/event_recorder.h"
#include "database/load_thread.h"
#include "support/sample_db.h"
#include "support/station_setup.h"
#include "support/test_home.h"
#include "support/wait.h"
#include "support/db_dump.h"
#include "database/ldb_writer.h"
#include "support/station_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <leveldb/db.h>
#include <thread>

namespace {

// The configuration of a scan of `folder`, and the window it reports to.
struct scan_setup {
    scan_setup(event_recorder& window, const std::string& folder, test_home& home) {
        config = open_station_configuration(home.path());
        config->Write(cfg::write_path, wxString(folder));
        link = std::make_shared<app_link>(&window, config.get());
    }
    std::unique_ptr<wxFileConfig> config;
    app_link_ptr link;
};

// Runs a scan to its end; the window then holds what it sent.
void run_to_end(load_thread* thread, scan_setup& setup, event_recorder& window) {
    worker_threads scans;
    scans.run(std::unique_ptr<wxThread>(thread), "scan");
    scans.join_all();
    EXPECT_EQ(setup.link.use_count(), 1);  // nothing of the scan holds the link
    setup.link->detach();
    window.drain();
}

// Runs one scan of `folder` to its end and returns what it sent.
event_recorder& scan(event_recorder& window, const std::string& folder, test_home& home) {
    scan_setup setup(window, folder, home);
    run_to_end(new load_thread(setup.link), setup, window);
    return window;
}

bool free_for_others(const std::string& path) {
    leveldb::DB* raw = nullptr;
    const bool ok = leveldb::DB::Open(leveldb::Options(), path, &raw).ok();
    delete raw;
    return ok;
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

TEST(load_thread, databases_come_in_listing_order_and_none_stays_locked) {
    test_home home;
    const std::string folder = home / "write";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < 40; ++i) {
        make_database(folder + "/s" + std::to_string(i), {uint32_t(i)}, std::to_string(i), "left");
    }
    std::vector<wxString> listing;  // the order the system lists them in
    for (const auto& e : std::filesystem::directory_iterator(folder))
        listing.push_back(e.path().string());
    event_recorder window;
    scan_setup setup(window, folder, home);
    auto* thread = new load_thread(setup.link);
    const int number = thread->scan_number();
    run_to_end(thread, setup, window);
    EXPECT_EQ(window.texts(evt_db_list), listing);
    for (const auto& e : window.events) {
        if (e.type == evt_db_list) {
            EXPECT_EQ(e.value, number);
        }
    }
    EXPECT_EQ(window.events.back().type, evt_thread_status);
    // Read once and let go: other programs may open them at once.
    for (const auto& path : listing)
        EXPECT_TRUE(free_for_others(path.ToStdString())) << path;
}

TEST(load_thread, scans_beside_sessions_opened_back_to_back_list_closed_ones_only) {
    test_home home;
    const std::string folder = home / "write";
    std::filesystem::create_directories(folder);
    std::atomic<bool> recorded{false};
    std::thread recording([&] {
        ldb_writer& live = ldb_writer::live();
        const cv::Mat frame = sample_frame(1);
        for (int i = 0; i < 30; ++i) {
            live.open(folder + "/" + std::to_string(i));
            live.put_frame(frame, 1);
            live.put_dpp_start(1);
            live.put_dpp_end(1);
            live.close("s", "left");
        }
        recorded = true;
    });
    for (int scans = 0; scans == 0 || !recorded; ++scans) {
        event_recorder window;
        scan(window, folder, home);
        // The session being opened is passed over, never refused as locked.
        EXPECT_TRUE(window.texts(evt_log_error).empty()) << window.texts(evt_log_error)[0];
        for (const auto& e : window.events) {
            if (e.type == evt_db_list) {
                EXPECT_EQ(e.info.count, 1u) << e.text;
            }
        }
    }
    recording.join();
}

TEST(load_thread, a_scan_started_later_abandons_the_earlier_one) {
    test_home home;
    const std::string folder = home / "write";
    std::filesystem::create_directories(folder);
    make_database(folder + "/2024.03.05 14.07.09", {100, 105}, "A : B", "left");
    make_database(folder + "/2024.03.05 15.00.00", {7}, "C : D", "right");
    event_recorder early_window, late_window;
    scan_setup early_setup(early_window, folder, home);
    scan_setup late_setup(late_window, folder, home);
    auto* early = new load_thread(early_setup.link);
    auto* late = new load_thread(late_setup.link);
    EXPECT_FALSE(load_thread::is_current(early->scan_number()));
    EXPECT_TRUE(load_thread::is_current(late->scan_number()));
    run_to_end(early, early_setup, early_window);
    EXPECT_TRUE(early_window.events.empty());  // not even the disk line
    run_to_end(late, late_setup, late_window);
    EXPECT_EQ(late_window.texts(evt_db_list).size(), 2u);
    EXPECT_EQ(late_window.texts(evt_thread_status).size(), 1u);
}

TEST(load_thread, the_disk_is_named_by_the_mount_point_that_holds_the_folder) {
    const std::string mounts =
        "/dev/vda1 / ext4 rw,relatime 0 0\n"
        "proc /proc proc rw 0 0\n"
        "/dev/sdb1 /media/data ext4 rw 0 0\n"
        "/dev/sdc1 /media/data\\040two vfat rw 0 0\n"
        "/dev/sdd1 /media/dat ext4 rw 0 0\n";
    EXPECT_EQ(load_thread::mount_point("/home/op/recordings", mounts), "/");
    EXPECT_EQ(load_thread::mount_point("/media/data", mounts), "/media/data");
    EXPECT_EQ(load_thread::mount_point("/media/data/rec", mounts), "/media/data");
    EXPECT_EQ(load_thread::mount_point("/media/data two/rec", mounts), "/media/data two");
    EXPECT_EQ(load_thread::mount_point("/media/database", mounts), "/");
    EXPECT_EQ(load_thread::mount_point("relative", mounts), "");
    // This system's answer agrees with the one coreutils give.
    test_home home;
    const std::string expected = shell_output("stat -c %m '" + home.path() + "'");
    if (!expected.empty()) {
        EXPECT_EQ(load_thread::volume_name(home.path()) + "\n", wxString(expected));
    }
}

TEST(load_thread, disk_space_is_whole_gibibytes_rounded_down) {
    const uint64_t gib = uint64_t(1) << 30;
    EXPECT_EQ(load_thread::disk_space_text("C:", 500 * gib, 123 * gib + gib * 9 / 10),
              L"Диск: C:: Всего: 500 GB Cвободно: 123 GB");
    // The first letter of the free-space word is the Latin C.
    EXPECT_NE(load_thread::disk_space_text("", 0, 0).Find(L"GB C\u0432"), wxNOT_FOUND);
}
