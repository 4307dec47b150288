// How fast the vehicle may go: the highest odometer message rate the
// recording sustains (every message stored, no growing backlog, never
// falling behind) while the simulated camera streams at 25 frames a second,
// side by side in one run:
//  1. one encoder thread (frames encoded on the write thread) against the
//     rate of one recording step on one thread;
//  2. the pool of encoders against one encoder thread;
//  3. the pool while two clients fetch live frames from the data access
//     service in a loop, against the pool without clients.
// Each sustained rate is searched from the one before it, in steps of about
// a twentieth.
#include "bench_util.h"
#include "recording_rate.h"
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
    rate_counter sink;
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
        wait_for_frames(*frame);

        std::printf("%s, camera at 25 frames/s:\n", tag.c_str());
        const double step_ms = one_step_ms(link, *frame, 100);
        const double step_rate = 1000.0 / step_ms;
        std::printf("  one step %.2f ms (median of 100): %.1f/s\n", step_ms, step_rate);
        const double one = sustained_rate(
            link, *config, sink, *frame, 0, step_rate, step_ms,
            {1.4, 1.3, 1.2, 1.15, 1.1, 1.05, 1.0, 0.95, 0.9, 0.85, 0.8, 0.75, 0.7, 0.6},
            "one thread");
        double pool = 0;
        if (one > 0) {
            pool = sustained_rate(
                link, *config, sink, *frame, write_thread::default_encoders(), one, step_ms,
                {2.3, 2.2, 2.1, 2.0, 1.9, 1.8, 1.7, 1.6, 1.5, 1.4, 1.2, 1.0}, "encoder pool");
        }
        double with_clients = 0;
        {
            auto* service = new img_service(link);
            service->Run();
            clients fetching(port);
            if (pool > 0) {
                with_clients = sustained_rate(
                    link, *config, sink, *frame, write_thread::default_encoders(), pool, step_ms,
                    {1.0, 0.95, 0.9, 0.85, 0.8, 0.7}, "pool, 2 clients fetching");
            }
            std::printf("  clients fetched %llu replies\n",
                        static_cast<unsigned long long>(fetching.fetched.load()));
        }
        stop_capture_thread(capture);
        ratios.emplace_back("one thread " + tag, one / step_rate);
        ratios.emplace_back("pool " + tag, one > 0 ? pool / one : 0);
        ratios.emplace_back("clients " + tag, pool > 0 ? with_clients / pool : 0);
    }
    link->detach();
    config.reset();
    std::filesystem::remove_all(root);
    std::printf("\nratios:\n");
    for (const auto& [name, ratio] : ratios) {
        const char* goal =
            name.rfind("pool", 0) == 0      ? "(sustained / one thread's, goal >= 1.8 at 4096x1024)"
            : name.rfind("clients", 0) == 0 ? "(sustained with 2 clients / without, goal >= 0.95)"
                                            : "(sustained / one step's rate)";
        std::printf("  %-22s %.3f %s\n", name.c_str(), ratio, goal);
    }
    return 0;
}
