// The recording on a disk that fills up: shown as nearly full at once, as
// failing when it is full, and storing again when room returns, in a new
// session, with the full one finished from its frames.
#include "database/ldb_writer.h"
#include "recording/write_thread.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "support/db_dump.h"
#include "support/event_recorder.h"
#include "support/fake_capture.h"
#include "support/pty_pair.h"
#include "support/station_setup.h"
#include "support/test_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

using namespace std::chrono_literals;

TEST(disk, a_disk_that_fills_up_is_shown_and_storing_resumes_when_room_returns) {
    const char* disk = std::getenv("UNDERCAM_SMALL_DISK");
    if (!disk)
        GTEST_SKIP() << "no file system of its own here (a private mount namespace is needed)";
    const std::string rec = std::string(disk) + "/rec";
    const std::string ballast = std::string(disk) + "/ballast";
    // Room enough, once the ballast goes, to finish the full session: opening
    // it writes out what its log holds, up to a whole write buffer.
    std::ofstream(ballast, std::ios::binary) << std::string(150 << 20, 'x');

    test_home home;
    pty_pair line;
    auto config = open_station_configuration(home.path());
    config->Write(cfg::dpp_port, wxString(line.path()));
    config->Write(cfg::write_path, wxString(rec));
    config->Write(cfg::coordinate_server_enabled, false);
    event_recorder window;
    auto link = std::make_shared<app_link>(&window, config.get());
    frame_buffer frame;
    frame.width = 1024;
    frame.height = 1024;
    frame.pixels.resize(1024 * 1024);
    std::mt19937 noise(7);  // noise compresses badly: big frames
    for (auto& p : frame.pixels)
        p = uint8_t(noise());
    fake_capture camera(frame);

    auto faults = [&] {
        window.drain();
        for (auto it = window.events.rbegin(); it != window.events.rend(); ++it) {
            if (it->type == evt_dpp_status) return it->value;
        }
        return 0;
    };
    auto* thread = new write_thread(link, "A", frame);
    ASSERT_EQ(thread->Run(), wxTHREAD_NO_ERROR);
    // Far less than 1 GiB of room: nearly full from the start.
    ASSERT_TRUE(wait_until([&] { return faults() & fault_disk_low; }));
    uint32_t value = 100;
    for (int i = 0; i < 400 && !(faults() & fault_store_failed); ++i) {
        line.send_new(value += 5);
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(faults() & fault_store_failed) << "the disk never filled";

    std::filesystem::remove(ballast);  // room returns
    std::this_thread::sleep_for(5200ms);
    line.send_new(value += 5);
    ASSERT_TRUE(wait_until([&] { return !(faults() & fault_store_failed); }));
    thread->stop();
    thread->Wait();
    delete thread;
    link->detach();
    window.drain();

    const auto infos = window.texts(evt_log_info);
    EXPECT_NE(std::find(infos.begin(), infos.end(), L"Запись в базу возобновлена"), infos.end());
    size_t reported = 0;
    for (const auto& e : window.events)
        reported += e.type == evt_db_list;
    EXPECT_EQ(reported, 2u);  // the full session, finished, and the new one
    std::vector<std::string> sessions;
    for (const auto& e : std::filesystem::directory_iterator(rec))
        sessions.push_back(e.path().string());
    std::sort(sessions.begin(), sessions.end());
    ASSERT_EQ(sessions.size(), 2u);
    const auto full = dump_database(sessions[0]);
    EXPECT_EQ(full.at("session"), "A");
    EXPECT_GT(std::stoul(full.at("count")), 0u);
}
