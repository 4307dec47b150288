// The real program with the fleet store's real engine, in this program's
// network namespace: a session recorded from a simulated camera goes up on
// its own when it closes, through a gateway killed in the middle of it, and
// an independent S3 client (Debian's awscli) reads back every frame as the
// station stored it.
#include "fleet/manifest.h"
#include "support/camera_settings_file.h"
#include "support/db_dump.h"
#include "support/fleet_engine.h"
#include "support/private_network.h"
#include "support/pty_pair.h"
#include "support/station_process.h"
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;

const std::string kBinary = UNDERCAM_BINARY;

bool journal_has(const std::string& home, const std::wstring& text) {
    return station_journal(home).find(text) != std::wstring::npos;
}

}  // namespace

TEST(fleet_station, a_recorded_session_goes_up_through_a_killed_gateway_and_reads_back_whole) {
    if (!private_network_failure().empty()) GTEST_SKIP() << private_network_failure();
    if (const std::string why = fleet_engine::unavailable(); !why.empty()) GTEST_SKIP() << why;
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    fleet_engine& engine = fleet_engine::shared();

    test_home home;
    pty_pair odometer;
    const std::string recordings = home / "recordings";
    jai_sim::camera_config camera = jai_sim::default_cameras()[0];
    camera.fps = 25;
    write_simulated_cameras(home.path(), {camera});
    std::filesystem::create_directories(home / "Dunmere/config");
    std::ofstream(home / "Dunmere/config/.undercam")
        << "dpp_port=" << odometer.path() << "\nwrite_path=" << recordings
        << "\ncoordinate_server_enabled=0\nrc_service_enabled=1\nfleet_enabled=1"
        << "\nfleet_endpoint=" << engine.endpoint() << "\nfleet_bucket=" << engine.bucket()
        << "\nfleet_access_key=" << engine.account().access_key
        << "\nfleet_secret_key=" << engine.account().secret_key
        << "\nfleet_vehicle=e2e1\nfleet_max_rate=2000\n";  // KB/s: seconds of sending

    station_process station(kBinary, home.path());
    ASSERT_TRUE(
        wait_until([&] { return journal_has(home.path(), L"Выгрузка в хранилище парка: "); }, 60s))
        << station_journal(home.path());
    ASSERT_TRUE(wait_until([&] { return remote_command(1); }, 30s));  // "Захват и запись"
    ASSERT_TRUE(
        wait_until([&] { return journal_has(home.path(), L"Последовательный порт: "); }, 30s))
        << station_journal(home.path());
    std::this_thread::sleep_for(1s);  // frames come in
    constexpr int kFrames = 60;
    for (uint32_t i = 0; i < kFrames; ++i) {
        odometer.send_new(100 + 5 * i);
        std::this_thread::sleep_for(80ms);
    }
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(remote_command(2));  // "Остановить": the session closes and goes up
    ASSERT_TRUE(
        wait_until([&] { return journal_has(home.path(), L"Выгрузка в хранилище: "); }, 30s))
        << station_journal(home.path());
    std::this_thread::sleep_for(1500ms);
    ASSERT_FALSE(journal_has(home.path(), L"Сеанс выгружен в хранилище")) << "too fast to cut";
    engine.kill_gateway();
    ASSERT_TRUE(
        wait_until([&] { return journal_has(home.path(), L"Хранилище парка не отвечает"); }, 60s))
        << station_journal(home.path());
    engine.start();
    ASSERT_TRUE(
        wait_until([&] { return journal_has(home.path(), L"Сеанс выгружен в хранилище"); }, 240s))
        << station_journal(home.path());
    EXPECT_TRUE(journal_has(home.path(), L"Хранилище парка снова отвечает"));
    const std::wstring text = station_journal(home.path());
    EXPECT_EQ(text.find(std::wstring(engine.account().secret_key.begin(),
                                     engine.account().secret_key.end())),
              std::wstring::npos);
    EXPECT_EQ(station.terminate(60s), 0);

    std::vector<std::string> sessions;
    for (const auto& entry : std::filesystem::directory_iterator(recordings))
        sessions.push_back(entry.path().string());
    ASSERT_EQ(sessions.size(), 1u);
    const auto local = dump_database(sessions[0]);

    // Everything of the vehicle, fetched by awscli.
    const std::string fetched = home / "fetched";
    const program_result copy = engine.aws({"s3", "cp", "--recursive", "--only-show-errors",
                                            "s3://" + engine.bucket() + "/e2e1/", fetched});
    ASSERT_EQ(copy.status, 0) << copy.err;
    std::vector<std::string> manifests;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(fetched))
        if (entry.path().filename() == "manifest.json") manifests.push_back(entry.path());
    ASSERT_EQ(manifests.size(), 1u);
    const std::string place = std::filesystem::path(manifests[0]).parent_path();
    const session_manifest m = read_manifest(file_bytes(manifests[0]));
    EXPECT_EQ(m.folder, std::filesystem::path(sessions[0]).filename().string());
    EXPECT_EQ(m.side, "left");
    size_t frames = 0;
    for (const auto& [key, value] : local)
        frames += key.size() == 10 && key.find_first_not_of("0123456789") == std::string::npos;
    ASSERT_EQ(m.frames.size(), frames);
    EXPECT_GE(frames, size_t(kFrames) * 9 / 10);
    std::vector<std::string> chunks;
    for (const manifest_chunk& c : m.chunks)
        chunks.push_back(file_bytes(place + "/" + c.name));
    for (const manifest_frame& f : m.frames) {
        char key[11];
        std::snprintf(key, sizeof key, "%010u", f.key);
        const auto it = local.find(key);
        ASSERT_NE(it, local.end()) << key;
        ASSERT_EQ(chunks.at(f.chunk).substr(f.offset, f.length), it->second) << key;
    }

    // One frame with one ranged GET, as an engineer's program would.
    const manifest_frame& first = m.frames.front();
    const std::string one = home / "one.jpg";
    const program_result ranged =
        engine.aws({"s3api", "get-object", "--bucket", engine.bucket(), "--key",
                    m.prefix() + m.chunks[first.chunk].name, "--range",
                    "bytes=" + std::to_string(first.offset) + "-" +
                        std::to_string(first.offset + first.length - 1),
                    one});
    ASSERT_EQ(ranged.status, 0) << ranged.err;
    char first_key[11];
    std::snprintf(first_key, sizeof first_key, "%010u", first.key);
    EXPECT_EQ(file_bytes(one), local.at(first_key));
}
