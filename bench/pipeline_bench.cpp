// How fast the vehicle may go: the highest odometer message rate the
// recording sustains (every message stored, no growing backlog, never
// falling behind) while the simulated camera streams at 25 frames a second,
// side by side in one run:
//  1. one encoder thread (frames encoded on the write thread) and the pool
//     of encoders, against the rate of one recording step on one thread;
//  2. the pool while two clients fetch live frames from the data access
//     service in a loop, against the pool without clients.
#include "bench_util.h"
#include "sim_camera.h"
#include "camera/capture_thread.h"
#include "camera/sdk/jai_sim.h"
#include "database/ldb_writer.h"
#include "recording/odometer_protocol.h"
#include "recording/write_thread.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "runtime/thread_priority.h"
#include "runtime/thread_events.h"
#include "services/data_protocol.h"
#include "services/img_service.h"

#include <utility>

#include <boost/asio.hpp>
#include <wx/init.h>

#include <atomic>
#include <optional>
#include <filesystem>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace asio = boost::asio;

namespace {

// Counts status lines and gathers the fault bits, without a window.
class counter : public wxEvtHandler {
  public:
    std::atomic<uint64_t> lines{0};
    std::atomic<int> faults{0};
    void QueueEvent(wxEvent* event) override {
        if (event->GetEventType() == evt_dpp_status) {
            auto* e = static_cast<wxThreadEvent*>(event);
            if (!e->GetString().empty()) ++lines;
            faults |= e->GetInt();
        }
        delete event;
    }
};

struct line_pair {
    int master = -1, slave = -1;
    std::string path;
    line_pair() {
        char name[256];
        openpty(&master, &slave, name, nullptr, nullptr);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        path = name;
    }
    ~line_pair() {
        close(master);
        close(slave);
    }
};

// True when the recording stores every message of a 3 s run at `rate` a
// second, after a second at half the rate as a vehicle gathers speed (the
// pipeline's and the store's buffers are first touched then); never behind
// (no message read late); and all stored within two periods and two steps
// of the last: the last frame's way through an encoder takes about one
// step, so a backlog that grew shows.
bool keeps_up(const app_link_ptr& link, wxConfigBase& config, counter& sink, frame_buffer& frame,
              size_t encoders, double rate, double step_seconds) {
    line_pair line;
    config.Write(cfg::dpp_port, wxString(line.path));
    auto* writer = new write_thread(link, "", frame, encoders);
    writer->Run();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the line opens
    sink.faults = 0;
    const uint64_t before = sink.lines.load();
    const int gathering = int(rate / 2);
    const int messages = gathering + std::max(40, int(rate * 3));
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / rate));
    auto next = std::chrono::steady_clock::now();
    uint8_t m[7];
    for (int i = 0; i < messages; ++i) {
        encode_odometer_new(uint32_t(1000 + 5 * i), m);
        if (write(line.master, m, 7) != 7) break;
        next += i < gathering ? 2 * period : period;
        std::this_thread::sleep_until(next);
    }
    const auto deadline = std::chrono::steady_clock::now() + 2 * period +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(2 * step_seconds));
    while (sink.lines.load() - before < uint64_t(messages) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const uint64_t stored = sink.lines.load() - before;
    const bool behind = sink.faults.load() & fault_behind;
    const bool kept_up = stored == uint64_t(messages) && !behind;
    if (!kept_up) {
        std::printf("    (%llu of %d messages in time%s)\n",
                    static_cast<unsigned long long>(stored), messages,
                    behind ? ", fell behind" : "");
    }
    writer->stop();
    writer->Wait();
    delete writer;
    // Each run records hundreds of megabytes: the next starts on an empty disk.
    std::filesystem::remove_all(config.Read(cfg::write_path).utf8_string());
    return kept_up;
}

// One recording step on one thread (copy, encode, puts, status), in ms: the
// median of 25 steps taken now, on a session of their own.
double one_step_ms(const app_link_ptr& link, frame_buffer& frame) {
    write_thread steps(link, "", frame, 0);
    uint32_t value = 0;
    std::vector<double> times;
    for (int i = 0; i < 25; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        steps.on_odometer_value(value += 5, odometer_new);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    ldb_writer::live().close("", "");
    return median(times);
}

// The highest of the shares (descending) of one step's rate that is kept up,
// or 0. The step is timed again just before each run, so a machine whose
// speed drifts during the benchmark compares each run with its own moment.
double sustained(const app_link_ptr& link, wxConfigBase& config, counter& sink, frame_buffer& frame,
                 size_t encoders, double scale, std::initializer_list<double> shares,
                 const char* what) {
    for (double share : shares) {
        const double step_ms = one_step_ms(link, frame);
        const double rate = scale * share * 1000.0 / step_ms;
        const bool kept_up = keeps_up(link, config, sink, frame, encoders, rate, step_ms / 1000);
        std::printf("  %-26s %6.1f/s (%.2f; one step now %.2f ms): %s\n", what, rate, share,
                    step_ms, kept_up ? "kept up" : "fell behind");
        if (kept_up) return share;
    }
    return 0;
}

// Two clients fetching live frames in a loop until told to stop. They stand
// for programs on other machines: their own side of each reply (receiving
// ten megabytes through the loopback) runs below the recording, as it would
// cost the station nothing there.
class clients {
  public:
    explicit clients(unsigned short port) {
        for (int i = 0; i < 2; ++i) {
            threads_.emplace_back([this, port] {
                run_below_recording();
                asio::io_context io;
                asio::ip::tcp::socket socket(io);
                boost::system::error_code ec;
                while (!stop_ && socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec)) {
                    socket.close();
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                const auto request = encode_data_request("", "", 1000);
                std::vector<uint8_t> png;
                while (!stop_) {
                    uint8_t head[4];
                    if (asio::write(socket, asio::buffer(request), ec) != request.size()) break;
                    if (asio::read(socket, asio::buffer(head), ec) != 4) break;
                    png.resize(reply_length(head));
                    if (asio::read(socket, asio::buffer(png), ec) != png.size()) break;
                    if (png.empty()) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // no session
                    } else {
                        ++fetched;
                    }
                }
            });
        }
    }
    ~clients() {
        stop_ = true;
        for (auto& t : threads_)
            t.join();
    }
    std::atomic<uint64_t> fetched{0};

  private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows as it comes
    wxInitializer init;
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-pbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "home/Dunmere/config");
    setenv("HOME", (root / "home").c_str(), 1);
    auto config = open_configuration(configuration_file_name((root / "home").string()));
    config->Write(cfg::write_path, wxString((root / "rec").string()));
    config->Write(cfg::coordinate_server_enabled, false);
    asio::io_context io;
    asio::ip::tcp::acceptor probe(io, {asio::ip::make_address("127.0.0.1"), 0});
    const unsigned short port = probe.local_endpoint().port();
    probe.close();
    config->Write(cfg::data_service_port, wxString::Format("%u", port));
    counter sink;
    auto link = std::make_shared<app_link>(&sink, config.get());
    std::vector<std::pair<std::string, double>> ratios;

    // Sizes to measure, as WxH arguments; both by default.
    std::vector<cv::Size> sizes;
    for (int i = 1; i < argc; ++i) {
        int w = 0, h = 0;
        if (std::sscanf(argv[i], "%dx%d", &w, &h) == 2 && w > 0 && h > 0) sizes.emplace_back(w, h);
    }
    if (sizes.empty()) sizes = {cv::Size(2048, 1024), cv::Size(4096, 1024)};
    for (const cv::Size size : sizes) {
        const std::string tag = std::to_string(size.width) + "x" + std::to_string(size.height);
        const simulated_camera camera(size.width, size.height, 25);
        auto frame = read_frame_geometry(camera.camera);
        capture_thread* capture = start_capture_thread(link, camera.camera, *frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));

        std::printf("%s, camera at 25 frames/s:\n", tag.c_str());
        const double one = sustained(link, *config, sink, *frame, 0, 1.0,
                                     {1.0, 0.95, 0.9, 0.85, 0.8, 0.7, 0.6}, "one thread");
        const double pool =
            sustained(link, *config, sink, *frame, write_thread::default_encoders(), 1.0,
                      {2.4, 2.2, 2.0, 1.9, 1.8, 1.7, 1.6, 1.5, 1.4, 1.2, 1.0}, "encoder pool");
        double with_clients = 0;
        {
            auto* service = new img_service(link);
            service->Run();
            clients fetching(port);
            if (pool > 0) {
                with_clients =
                    sustained(link, *config, sink, *frame, write_thread::default_encoders(), pool,
                              {1.0, 0.97, 0.95, 0.9, 0.85, 0.8, 0.7}, "pool, 2 clients fetching");
            }
            std::printf("  clients fetched %llu replies\n",
                        static_cast<unsigned long long>(fetching.fetched.load()));
        }
        stop_capture_thread(capture);
        ratios.emplace_back("one thread " + tag, one);
        ratios.emplace_back("pool " + tag, pool);
        ratios.emplace_back("clients " + tag, with_clients);
    }
    link->detach();
    config.reset();
    std::filesystem::remove_all(root);
    std::printf("\nratios:\n");
    for (const auto& [name, ratio] : ratios) {
        const char* goal =
            name.rfind("pool", 0) == 0 ? "(sustained / one step's rate, goal >= 1.8 at 4096x1024)"
            : name.rfind("clients", 0) == 0 ? "(sustained with 2 clients / without, goal >= 0.95)"
                                            : "(sustained / one step's rate)";
        std::printf("  %-22s %.3f %s\n", name.c_str(), ratio, goal);
    }
    return 0;
}
