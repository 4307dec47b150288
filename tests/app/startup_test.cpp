// The real program under a display server: start-up, banner, single
// instance, camera choice and an orderly close. Each home holds a camera
// settings file with simulated cameras, so no test looks for real ones.
#include "support/camera_settings_file.h"
#include "support/station_process.h"

#include <utility>

#include <boost/asio.hpp>
#include "support/test_home.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

const std::string kBinary = UNDERCAM_BINARY;

bool journal_has(const std::string& home, const std::wstring& text) {
    const auto files = journal_files(home);
    return files.size() == 1 && read_journal(files[0]).find(text) != std::wstring::npos;
}

// True when the process shows a window with exactly this title.
bool shows_window(pid_t pid, const std::string& title) {
    const std::string windows =
        shell_output("xdotool search --pid " + std::to_string(pid) + " 2>/dev/null");
    std::istringstream ids(windows);
    for (std::string id; ids >> id;) {
        if (shell_output("xdotool getwindowname " + id) == title + "\n") return true;
    }
    return false;
}

// Texts of the journal's rows, in order.
std::vector<std::wstring> row_texts(const std::wstring& journal) {
    std::vector<std::wstring> rows;
    const std::wregex cell(L"<td> <font color='(?:blue|red)'>([^\n]*)</font></td>");
    for (std::wsregex_iterator it(journal.begin(), journal.end(), cell), end; it != end; ++it) {
        rows.push_back((*it)[1].str());
    }
    return rows;
}

}  // namespace

TEST(startup, journal_begins_with_the_table_and_the_banner_and_stays_open_ended) {
    test_home home;
    write_simulated_cameras(home.path());
    station_process station(kBinary, home.path());
    ASSERT_TRUE(wait_until([&] { return journal_has(home.path(), L"Active camera selected"); },
                           std::chrono::seconds(30)));
    const std::string artifacts = std::string(ARTIFACT_DIR);
    std::filesystem::create_directories(artifacts);
    shell_output("import -window root '" + artifacts + "/main_window.png' 2>/dev/null");

    EXPECT_EQ(station.terminate(), 0);
    const auto files = journal_files(home.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(std::filesystem::path(files[0]).filename().string(),
                                 std::regex(R"(undercam\[\d+\]\.html)")));
    const std::wstring journal = read_journal(files[0]);
    EXPECT_EQ(journal.substr(0, 27), L"<html>\n<table>\n<tbody>\n<tr>");
    EXPECT_EQ(journal.substr(journal.size() - 6), L"</tr>\n");
    EXPECT_EQ(journal.find(L"</table>"), std::wstring::npos);

    const auto rows = row_texts(journal);
    ASSERT_GE(rows.size(), 11u);
    EXPECT_TRUE(std::regex_match(rows[0],
                                 std::wregex(L"Начало работы\\. Версия: \\S+ hash: [0-9a-f]{40}")));
    EXPECT_EQ(rows[1].substr(0, 4), L"JAI ");
    EXPECT_EQ(rows[2], L"OpenCV 4.6.0");
    EXPECT_EQ(rows[3].substr(0, 10), L"wxWidgets ");
    EXPECT_TRUE(std::regex_match(rows[4], std::wregex(L"Компьютер: .+ \\(.*\\)")));
    EXPECT_EQ(rows[5].substr(0, 4), L"ОС: ");
    EXPECT_EQ(rows[6], L"Борт: не определен");
    EXPECT_EQ(rows[7], L"2 camera(s) detected");
    // The default driver is the socket driver.
    EXPECT_NE(rows[10].find(L"Active camera selected: "), std::wstring::npos);
    EXPECT_NE(rows[10].find(L"INT=>SD"), std::wstring::npos);
    EXPECT_TRUE(std::filesystem::exists(home / "Dunmere/config"));
}

TEST(startup, second_instance_is_refused_and_creates_nothing) {
    test_home home;
    write_simulated_cameras(home.path());
    station_process first(kBinary, home.path());
    ASSERT_TRUE(wait_until([&] { return journal_has(home.path(), L"Active camera selected"); },
                           std::chrono::seconds(30)));
    station_process second(kBinary, home.path());
    // The refusal waits in its message box; it must have made no journal file.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(journal_files(home.path()).size(), 1u);
    if (second.running() && !shell_output("command -v xdotool").empty()) {
        EXPECT_TRUE(shows_window(second.pid(), "Error")) << "no message box titled Error";
    }
    second.kill();
    EXPECT_EQ(first.terminate(), 0);
    EXPECT_EQ(journal_files(home.path()).size(), 1u);
}

TEST(startup, preferred_driver_and_side_come_from_the_configuration) {
    test_home home;
    write_simulated_cameras(home.path());
    std::filesystem::create_directories(home / "Dunmere/config");
    std::ofstream(home / "Dunmere/config/.undercam")
        << "driver=FilterDriver\nside=\xD0\xBF\xD1\x80\xD0\xB0\xD0\xB2\xD1\x8B\xD0\xB9\n";
    station_process station(kBinary, home.path());
    ASSERT_TRUE(wait_until([&] { return journal_has(home.path(), L"Active camera selected"); },
                           std::chrono::seconds(30)));
    EXPECT_EQ(station.terminate(), 0);
    const std::wstring journal = read_journal(journal_files(home.path())[0]);
    EXPECT_NE(journal.find(L"Active camera selected: TL=>GevTL , INT=>FD"), std::wstring::npos);
    EXPECT_NE(journal.find(L"Борт: правый"), std::wstring::npos);
}

TEST(startup, without_cameras_it_starts_and_opens_none) {
    test_home home;
    std::ofstream(home / "no_cameras.conf") << "# no camera\n";
    station_process station(kBinary, home.path(), {{"JAI_SIM_CONFIG", home / "no_cameras.conf"}});
    ASSERT_TRUE(wait_until([&] { return journal_has(home.path(), L"0 camera(s) detected"); },
                           std::chrono::seconds(30)));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(station.terminate(), 0);
    EXPECT_EQ(read_journal(journal_files(home.path())[0]).find(L"Active camera selected"),
              std::wstring::npos);
}

TEST(startup, week_old_journals_go_and_newer_ones_stay) {
    test_home home;
    write_simulated_cameras(home.path());
    std::filesystem::create_directories(home / "Dunmere/log");
    const auto old_file = home / "Dunmere/log/undercam[1].html";
    const auto recent = home / "Dunmere/log/undercam[2].html";
    std::ofstream(old_file) << "old";
    std::ofstream(recent) << "recent";
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(old_file, now - std::chrono::hours(24 * 8));
    std::filesystem::last_write_time(recent, now - std::chrono::hours(24 * 6));
    station_process station(kBinary, home.path());
    // The new run's journal appears only after the cleanup has run.
    ASSERT_TRUE(wait_until(
        [&] {
            for (const auto& f : journal_files(home.path())) {
                if (f != old_file && f != recent) return true;
            }
            return false;
        },
        std::chrono::seconds(30)));
    EXPECT_EQ(station.terminate(), 0);
    EXPECT_FALSE(std::filesystem::exists(old_file));
    EXPECT_TRUE(std::filesystem::exists(recent));
}

TEST(startup, a_start_up_that_fails_after_its_services_started_ends_cleanly) {
    if (shell_output("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
    namespace asio = boost::asio;
    asio::io_context io;
    asio::ip::udp::socket discovery(io);
    boost::system::error_code ec;
    discovery.open(asio::ip::udp::v4(), ec);
    discovery.bind({asio::ip::udp::v4(), 12800}, ec);
    if (ec) GTEST_SKIP() << "UDP 12800 is in use here: " << ec.message();
    asio::ip::tcp::acceptor probe(io, {asio::ip::make_address("127.0.0.1"), 0});
    const unsigned short data_port = probe.local_endpoint().port();
    probe.close();

    test_home home;
    write_simulated_cameras(home.path());
    std::filesystem::create_directories(home / "Dunmere/config");
    std::ofstream(home / "Dunmere/config/.undercam") << "data_service_port=" << data_port << "\n";
    station_process station(kBinary, home.path());
    // The discovery port is taken: the start fails after the data service
    // has started, and the failure message waits for the operator.
    ASSERT_TRUE(wait_until([&] { return shows_window(station.pid(), "C++ exception"); },
                           std::chrono::seconds(30)));
    // A client that connects meanwhile reaches no worker of the failed window.
    for (int i = 0; i < 3; ++i) {
        asio::ip::tcp::socket client(io);
        client.connect({asio::ip::make_address("127.0.0.1"), data_port}, ec);
        if (!ec) asio::write(client, asio::buffer(std::string(1024, '\0')), ec);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(station.running());
    // A system shutdown ends the message; the start-up failed, and says so.
    EXPECT_EQ(station.terminate(), 1);
}
