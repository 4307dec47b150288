// The vehicle's top speed, end to end, with the real program: odometer
// messages at RATE a second (87: 0.5 mm lines at 160 km/h) of 4096 x 1024
// frames from a simulated camera at 30 frames a second, for SECONDS, while
// every 30 s one of these comes in turn: the odometer line gone for 6 s; four
// clients fetching live frames in a loop beside 200 idle connections, for
// 6 s; 5 000 malformed datagrams to discovery and a reset on remote control.
// Prints the late frames and episodes the journal reports, the messages sent
// and not stored (as runs of values, with the second each began), the
// messages left unread in the line when it dropped, and
// the share of a core each of the station's threads took. A line plugged in
// again counts as up once the station has opened it: it drops what waited in
// the line before (messages of an unknown age).
//
// Loopback and pseudo-terminals only; the station binds its fixed ports, so
// no other station may run. Under a display server:
//   xvfb-run -a build/bench/top_speed_bench [--rate 87] [--seconds 240] [--scene track|noise]
#include "recording/odometer_protocol.h"
#include "services/data_protocol.h"
#include "services/rc_protocol.h"
#include "support/camera_settings_file.h"
#include "support/db_dump.h"
#include "support/pty_pair.h"
#include "support/station_process.h"
#include "support/test_home.h"

#include <utility>  // before Asio, which uses std::exchange without it

#include <boost/asio.hpp>
#include <wx/string.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <vector>

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

namespace {

const std::string kBinary = UNDERCAM_BINARY;

size_t count_of(const std::wstring& text, const std::wstring& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The journal's rows (time and text) that hold `what`, their markup left out.
std::vector<std::wstring> rows_with(const std::wstring& text, const std::wstring& what) {
    std::vector<std::wstring> rows;
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + 1)) {
        const size_t open = text.rfind(L"<tr>", at);
        const size_t start = open == std::wstring::npos ? 0 : open;
        const size_t end = std::min(text.find(L"</tr>", at), text.size());
        std::wstring row;
        bool in_tag = false;
        for (size_t i = start; i < end; ++i) {
            if (text[i] == L'<') in_tag = true;
            if (!in_tag && text[i] != L'\n') row += text[i];
            if (text[i] == L'>') in_tag = false;
        }
        rows.push_back(row);
    }
    return rows;
}

// The late frames the journal's "Запись успевает" rows name, summed.
unsigned long late_frames(const std::wstring& text) {
    const std::wstring row = L"кадров, записанных с опозданием: ";
    unsigned long sum = 0;
    for (size_t at = text.find(row); at != std::wstring::npos; at = text.find(row, at + 1))
        sum += std::wcstoul(text.c_str() + at + row.size(), nullptr, 10);
    return sum;
}

// CPU seconds of each of the process's threads, by thread id, with names.
struct thread_times {
    std::map<int, std::pair<std::string, double>> by_tid;
};

thread_times sample(pid_t pid) {
    thread_times t;
    const double tick = double(sysconf(_SC_CLK_TCK));
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        t.by_tid[std::stoi(task.path().filename())] = {name, double(utime + stime) / tick};
    }
    return t;
}

// Clients in a loop until destroyed: four fetching the live frame, and 200
// connections that only wait.
class client_load {
  public:
    client_load() {
        for (int i = 0; i < 200; ++i) {
            idle_.emplace_back(io_);
            boost::system::error_code ec;
            idle_.back().connect({asio::ip::make_address("127.0.0.1"), 12600}, ec);
        }
        for (int i = 0; i < 4; ++i) {
            fetchers_.emplace_back([this] {
                asio::io_context io;
                tcp::socket socket(io);
                boost::system::error_code ec;
                socket.connect({asio::ip::make_address("127.0.0.1"), 12600}, ec);
                const auto request = encode_data_request("", "", 0);
                std::vector<uint8_t> png;
                while (!stop_ && !ec) {
                    uint8_t head[4];
                    if (asio::write(socket, asio::buffer(request), ec) != request.size()) break;
                    if (asio::read(socket, asio::buffer(head), ec) != 4) break;
                    png.resize(reply_length(head));
                    if (asio::read(socket, asio::buffer(png), ec) != png.size()) break;
                    ++fetched;
                }
            });
        }
    }
    ~client_load() {
        stop_ = true;
        for (auto& t : fetchers_)
            t.join();
    }
    std::atomic<uint64_t> fetched{0};

  private:
    asio::io_context io_;
    std::vector<tcp::socket> idle_;
    std::vector<std::thread> fetchers_;
    std::atomic<bool> stop_{false};
};

void malformed_datagrams_and_a_reset() {
    asio::io_context io;
    asio::ip::udp::socket udp(io, asio::ip::udp::endpoint(asio::ip::udp::v4(), 0));
    const asio::ip::udp::endpoint discovery(asio::ip::make_address("127.0.0.1"), 12800);
    std::string junk = "{\"type\": \"query\", \"service\": ";
    for (int i = 0; i < 5000; ++i) {
        junk.back() = char('!' + i % 90);
        boost::system::error_code ec;
        udp.send_to(asio::buffer(junk), discovery, 0, ec);
    }
    tcp::socket rc(io);
    boost::system::error_code ec;
    rc.connect({asio::ip::make_address("127.0.0.1"), 12700}, ec);
    rc.set_option(asio::socket_base::linger(true, 0), ec);
    rc.close(ec);  // a reset, not a close
}

// The odometer's line: a pseudo-terminal behind a link the station opens.
class odometer_line {
  public:
    explicit odometer_line(std::string link) : link_(std::move(link)) { plug(); }
    const std::string& link() const { return link_; }
    bool up() const { return line_ != nullptr; }
    // Messages written and not yet read by the station, lost as it goes.
    size_t unplug() {
        const size_t waiting = line_->unread() / 7;
        std::filesystem::remove(link_);
        line_.reset();
        return waiting;
    }
    void plug() {
        line_ = std::make_unique<pty_pair>();
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(line_->path(), link_);
    }
    void send(uint32_t value) { line_->send_new(value); }

  private:
    std::string link_;
    std::unique_ptr<pty_pair> line_;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    double rate = 87;
    int seconds = 240;
    jai_sim::scene_kind scene = jai_sim::scene_kind::track;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--rate") rate = std::atof(argv[i + 1]);
        if (option == "--seconds") seconds = std::atoi(argv[i + 1]);
        if (option == "--scene" && std::string(argv[i + 1]) == "noise")
            scene = jai_sim::scene_kind::noise;
    }
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "top_speed_bench: needs a display (xvfb-run -a)\n");
        return 1;
    }
    test_home home;
    jai_sim::camera_config camera = jai_sim::default_cameras()[0];
    camera.width = 4096;
    camera.fps = 30;
    camera.scene = scene;
    const std::string cameras = home / "cameras.conf";
    std::ofstream(cameras) << simulated_cameras_text({camera});
    odometer_line line(home / "odometer");
    const std::string recordings = home / "recordings";
    std::filesystem::create_directories(home / "Dunmere/config");
    std::ofstream(home / "Dunmere/config/.undercam")
        << "dpp_port=" << line.link() << "\nwrite_path=" << recordings
        << "\ncoordinate_server_enabled=0\nrc_service_enabled=1\n";

    station_process station(kBinary, home.path(), {{"JAI_SIM_CONFIG", cameras}});
    if (!wait_until(
            [&] {
                return station_journal(home.path()).find(L"Active camera selected") !=
                       std::wstring::npos;
            },
            60s) ||
        !wait_until([&] { return remote_command(1); }, 30s) ||
        !wait_until(
            [&] {
                return station_journal(home.path()).find(L"Последовательный порт: ") !=
                       std::wstring::npos;
            },
            30s)) {
        std::fprintf(stderr, "the station did not start recording\n");
        return 1;
    }
    std::this_thread::sleep_for(6s);  // frames come in once the simulator has drawn its strip
    std::printf("%s scene, 4096x1024 at 30 frames/s, %.0f messages/s for %d s\n",
                scene == jai_sim::scene_kind::track ? "track" : "noise", rate, seconds);

    const thread_times before = sample(station.pid());
    const auto began = steady::now();
    const std::time_t began_at = std::time(nullptr);
    char clock_text[16];
    std::strftime(clock_text, sizeof clock_text, "%H:%M:%S", std::localtime(&began_at));
    std::printf("  0 s at %s by the journal's clock\n", clock_text);
    const auto period =
        std::chrono::duration_cast<steady::duration>(std::chrono::duration<double>(1.0 / rate));
    std::set<uint32_t> sent;
    size_t waiting_at_drops = 0;
    uint32_t value = 1000;
    int fault = 0;
    auto next_fault = began + 15s;
    auto line_back = steady::time_point::max();
    // Plugged in again, the line counts as up once the station has opened it
    // (it looks every second and drops what waited before).
    bool reopening = false;
    size_t opened = count_of(station_journal(home.path()), L"Последовательный порт: ");
    auto next_look = steady::time_point::min();
    std::unique_ptr<client_load> clients;
    auto clients_end = steady::time_point::max();
    uint64_t fetched = 0;
    for (auto next = began; next < began + std::chrono::seconds(seconds); next += period) {
        std::this_thread::sleep_until(next);
        const auto now = steady::now();
        if (now >= line_back) {
            line.plug();
            line_back = steady::time_point::max();
            reopening = true;
        }
        if (reopening && now >= next_look) {
            next_look = now + 50ms;
            const size_t n = count_of(station_journal(home.path()), L"Последовательный порт: ");
            if (n > opened) {
                opened = n;
                reopening = false;
            }
        }
        if (now >= clients_end) {
            fetched += clients->fetched;
            clients.reset();
            clients_end = steady::time_point::max();
        }
        if (now >= next_fault) {
            next_fault += 30s;
            switch (fault++ % 3) {
                case 0:
                    std::this_thread::sleep_for(period / 2);  // the last message on its way
                    waiting_at_drops += line.unplug();
                    line_back = now + 6s;
                    std::printf("  %3.0f s: the odometer line gone for 6 s\n",
                                std::chrono::duration<double>(now - began).count());
                    break;
                case 1:
                    clients = std::make_unique<client_load>();
                    clients_end = now + 6s;
                    std::printf("  %3.0f s: 4 clients fetching, 200 idle connections, for 6 s\n",
                                std::chrono::duration<double>(now - began).count());
                    break;
                case 2:
                    malformed_datagrams_and_a_reset();
                    std::printf(
                        "  %3.0f s: 5000 malformed datagrams and a reset on remote control\n",
                        std::chrono::duration<double>(now - began).count());
                    break;
            }
        }
        value += 5;
        if (line.up()) {
            line.send(value);
            if (!reopening) sent.insert(value);
        }
    }
    const double wall = std::chrono::duration<double>(steady::now() - began).count();
    const thread_times after = sample(station.pid());
    if (clients) fetched += clients->fetched;
    clients.reset();
    std::this_thread::sleep_for(2s);  // the last frames reach the store
    remote_command(2);
    std::this_thread::sleep_for(2s);
    const std::wstring text = station_journal(home.path());
    const int status = station.terminate(60s);

    size_t stored = 0;
    std::set<uint32_t> lost = sent;
    std::error_code error;
    for (const auto& session : std::filesystem::directory_iterator(recordings, error)) {
        for (const std::string& key : database_keys(session.path())) {
            if (key.size() != 10 || key.find_first_not_of("0123456789") != std::string::npos)
                continue;
            stored += sent.count(uint32_t(std::stoul(key)));
            lost.erase(uint32_t(std::stoul(key)));
        }
    }
    std::map<std::string, double> by_name;
    for (const auto& [tid, entry] : after.by_tid) {
        const auto was = before.by_tid.find(tid);
        by_name[entry.first] +=
            entry.second - (was == before.by_tid.end() ? 0 : was->second.second);
    }
    std::printf("\nstation exit status %d; clients fetched %llu frames\n", status,
                static_cast<unsigned long long>(fetched));
    std::printf(
        "messages sent %zu, stored %zu, lost %zu (left unread in the line at its drops: "
        "%zu)\n",
        sent.size(), stored, sent.size() - stored, waiting_at_drops);
    // Lost messages as runs of consecutive values, with the second of the
    // run each began at (values go up by 5 from 1000, `rate` a second).
    for (auto it = lost.begin(); it != lost.end();) {
        const uint32_t first = *it;
        uint32_t last = first;
        while (++it != lost.end() && *it == last + 5)
            last = *it;
        std::printf("  lost %u..%u (%u messages) from %.1f s\n", first, last,
                    (last - first) / 5 + 1, double(first - 1005) / 5 / rate);
    }
    std::printf("late episodes (\"Запись отстает\") %zu, late frames %lu\n",
                count_of(text, L"Запись отстает"), late_frames(text));
    for (const std::wstring& row : rows_with(text, L"Запись отстает"))
        std::printf("  %s\n", wxString(row).utf8_str().data());
    std::printf("share of one core per thread, over %.0f s:\n", wall);
    for (const auto& [name, cpu] : by_name)
        if (cpu / wall >= 0.005) std::printf("  %-16s %5.1f %%\n", name.c_str(), 100 * cpu / wall);
    return 0;
}
