// The recording on a disk that fills up: shown as nearly full at once, as
// failing when it is full, and storing again when room returns, in a new
// session, with the full one finished from its frames.
#include "recording/write_thread_fixture.h"

#include <cstdlib>
#include <fstream>
#include <random>

using namespace std::chrono_literals;

class disk : public write_thread_test {
  protected:
    void SetUp() override {
        write_thread_test::SetUp();
        camera_.reset();
        frame_.width = 1024;
        frame_.height = 1024;
        frame_.pixels.resize(1024 * 1024);
        std::mt19937 noise(7);  // noise compresses badly: big frames
        for (auto& p : frame_.pixels)
            p = uint8_t(noise());
        camera_ = std::make_unique<fake_capture>(frame_);
    }
};

TEST_F(disk, a_disk_that_fills_up_is_shown_and_storing_resumes_when_room_returns) {
    const char* small_disk = std::getenv("UNDERCAM_SMALL_DISK");
    if (!small_disk)
        GTEST_SKIP() << "no file system of its own here (a private mount namespace is needed)";
    const std::string rec = std::string(small_disk) + "/rec";
    const std::string ballast = std::string(small_disk) + "/ballast";
    // Room enough, once the ballast goes, to finish the full session: opening
    // it writes out what its log holds, up to a whole write buffer.
    std::ofstream(ballast, std::ios::binary) << std::string(150 << 20, 'x');
    config_->Write(cfg::write_path, wxString(rec));

    start("A");
    // Far less than 1 GiB of room: nearly full from the start.
    ASSERT_TRUE(wait_until([&] { return faults() & fault_disk_low; }));
    // One message at a time, each sent once the last is written, so the disk
    // fills after the same number of frames however slow the machine is.
    uint32_t value = 100;
    for (int i = 0; i < 400 && !(faults() & fault_store_failed); ++i) {
        const size_t before = status_lines().size();
        line_.send_new(value += 5);
        ASSERT_TRUE(wait_until([&] { return status_lines().size() > before; }, 30s));
    }
    ASSERT_TRUE(faults() & fault_store_failed) << "the disk never filled";

    std::filesystem::remove(ballast);  // room returns
    std::this_thread::sleep_for(5200ms);
    line_.send_new(value += 5);
    ASSERT_TRUE(wait_until([&] { return !(faults() & fault_store_failed); }));
    stop();

    const auto infos = texts(evt_log_info);
    EXPECT_NE(std::find(infos.begin(), infos.end(), L"Запись в базу возобновлена"), infos.end());
    EXPECT_EQ(databases().size(), 2u);  // the full session, finished, and the new one
    std::vector<std::string> sessions;
    for (const auto& e : std::filesystem::directory_iterator(rec))
        sessions.push_back(e.path().string());
    std::sort(sessions.begin(), sessions.end());
    ASSERT_EQ(sessions.size(), 2u);
    const auto full = dump_database(sessions[0]);
    EXPECT_EQ(full.at("session"), "A");
    EXPECT_GT(std::stoul(full.at("count")), 0u);
}
