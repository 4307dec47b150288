// The real program with a real camera: in the suite's own network namespace,
// holding only Aravis's fake GigE Vision camera, the station starts with no
// camera settings file, finds and opens that camera, and records its frames
// at the camera's own geometry from a pseudo-terminal odometer.
#include "support/db_dump.h"
#include "support/fake_gige_camera.h"
#include "support/pty_pair.h"
#include "support/station_process.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string kBinary = UNDERCAM_BINARY;

}  // namespace

TEST(real_camera, the_station_finds_opens_and_records_the_only_camera_on_its_network) {
    if (const std::string why = fake_gige_camera::unavailable(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    fake_gige_camera fake("STATION1");
    ASSERT_TRUE(fake.set_integer("Width", 1024));
    ASSERT_TRUE(fake.set_integer("Height", 256));

    test_home home;
    pty_pair odometer;
    const std::string recordings = home / "recordings";
    std::filesystem::create_directories(home / "Dunmere/config");
    std::ofstream(home / "Dunmere/config/.undercam")
        << "dpp_port=" << odometer.path() << "\nwrite_path=" << recordings
        << "\ncoordinate_server_enabled=0\nrc_service_enabled=1\n";
    ASSERT_FALSE(std::filesystem::exists(home / ".jai_sim.conf"));

    station_process station(kBinary, home.path());
    const std::string narrow_id = fake.id();
    const std::wstring id(narrow_id.begin(), narrow_id.end());
    ASSERT_TRUE(wait_until(
        [&] {
            return station_journal(home.path()).find(L"Active camera selected: " + id) !=
                   std::wstring::npos;
        },
        60s))
        << station_journal(home.path());
    EXPECT_NE(station_journal(home.path()).find(L"1 camera(s) detected"), std::wstring::npos);

    ASSERT_TRUE(wait_until([&] { return remote_command(1); }, 30s));  // "Захват и запись"
    ASSERT_TRUE(wait_until(
        [&] {
            const auto text = station_journal(home.path());
            return text.find(L"Последовательный порт: ") != std::wstring::npos &&
                   text.find(L"GigE Vision packet size: ") != std::wstring::npos;
        },
        30s))
        << station_journal(home.path());
    std::this_thread::sleep_for(1s);  // frames come in
    for (uint32_t v = 100; v <= 120; v += 5) {
        odometer.send_new(v);
        std::this_thread::sleep_for(200ms);
    }
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(remote_command(2));  // "Остановить": the session closes
    EXPECT_EQ(station.terminate(60s), 0);

    std::vector<std::string> sessions;
    for (const auto& entry : std::filesystem::directory_iterator(recordings))
        sessions.push_back(entry.path().string());
    ASSERT_EQ(sessions.size(), 1u) << station_journal(home.path());
    size_t frames = 0;
    for (const auto& [key, value] : dump_database(sessions[0])) {
        if (key.size() != 10 || key.find_first_not_of("0123456789") != std::string::npos) continue;
        const cv::Mat image =
            cv::imdecode(std::vector<uint8_t>(value.begin(), value.end()), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(image.cols, 1024) << key;
        ASSERT_EQ(image.rows, 256) << key;
        cv::Scalar mean, deviation;
        cv::meanStdDev(image, mean, deviation);
        EXPECT_GT(deviation[0], 30) << key;  // the camera's ramp, not an empty frame
        ++frames;
    }
    EXPECT_EQ(frames, 5u);
}
