// The data access service against the bare library calls, side by side:
//  1. one request end to end over loopback vs. bare JPEG decode + PNG encode
//     of the same frame;
//  2. requests per second with 1, 2 and 4 parallel clients;
//  3. a request on a new connection while 300 idle connections were opened
//     (the service holds 64 of them and closes the longest idle for each
//     newcomer) against the same request with none.
#include "bench_util.h"
#include "database/catalogue.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "local_data_service.h"
#include "services/data_protocol.h"

#include <utility>

#include <boost/asio.hpp>
#include <opencv2/imgcodecs.hpp>
#include <wx/init.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

struct client {
    asio::io_context io;
    tcp::socket socket{io};
    explicit client(unsigned short port) {
        for (int i = 0; i < 200; ++i) {
            boost::system::error_code ec;
            socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec);
            if (!ec) {
                socket.set_option(tcp::no_delay(true));
                return;
            }
            socket.close();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::abort();
    }
    size_t fetch(const request_bytes& request) {
        asio::write(socket, asio::buffer(request));
        uint8_t head[4];
        asio::read(socket, asio::buffer(head));
        const uint32_t n = head[0] | head[1] << 8 | head[2] << 16 | uint32_t(head[3]) << 24;
        std::vector<uint8_t> png(n);
        asio::read(socket, asio::buffer(png));
        return n;
    }
};

void add_session(const std::string& path, const std::string& code, const cv::Mat& frame) {
    ldb_writer writer;
    writer.open(path);
    writer.put_dpp_start(100);
    writer.put_dpp_end(100);
    writer.put_time_start(0);
    writer.put_time_end(0);
    writer.put_frame(frame, 100);
    writer.close(code, "left");
    ldb_reader reader(path);
    catalogue::instance().append({reader.read_info(), path});
}

}  // namespace

int main() {
    wxInitializer init;
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-sbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    const cv::Mat big = textured_frame(2048, 1024);
    const cv::Mat small = textured_frame(640, 480);
    add_session((root / "big").string(), "B : 1", big);
    add_session((root / "small").string(), "S : 1", small);
    auto service = std::make_unique<local_data_service>(root / "home");
    const unsigned short port = service->port();

    // 1. One request against bare decode + PNG encode.
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", big, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
    client one(port);
    const auto request = encode_data_request("B", "1", 100);
    const auto single = compare(
        15,
        [&] {
            if (one.fetch(request) == 0) std::abort();
        },
        [&] {
            const cv::Mat image = cv::imdecode(jpeg, cv::IMREAD_COLOR);
            std::vector<uint8_t> png;
            cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 5});
        });
    std::printf("2048x1024 request over loopback: %.1f ms, bare decode+png: %.1f ms\n",
                single.ours_ms, single.bare_ms);

    // 2. Throughput with parallel clients (640 x 480 frames, 3 s each).
    const auto small_request = encode_data_request("S", "1", 100);
    std::vector<double> rates;
    for (int clients : {1, 2, 4}) {
        std::atomic<bool> stop{false};
        std::atomic<long> done{0};
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&] {
                client mine(port);
                while (!stop) {
                    if (mine.fetch(small_request) == 0) std::abort();  // every reply a frame
                    ++done;
                }
            });
        }
        std::this_thread::sleep_for(std::chrono::seconds(3));
        stop = true;
        for (auto& t : threads)
            t.join();
        rates.push_back(done / 3.0);
        std::printf("%d client(s): %.1f requests/s\n", clients, rates.back());
    }
    // 3. A newcomer among 300 idle connections against one alone.
    auto newcomer = [&] {
        client fresh(port);
        if (fresh.fetch(small_request) == 0) std::abort();
    };
    const auto alone = compare(15, newcomer, [] {});
    std::vector<std::unique_ptr<client>> idle;
    for (int i = 0; i < 300; ++i)
        idle.push_back(std::make_unique<client>(port));
    const auto crowded = compare(15, newcomer, [] {});
    std::printf("new connection and request: %.2f ms alone, %.2f ms among 300 idle connections\n",
                alone.ours_ms, crowded.ours_ms);
    idle.clear();

    service.reset();
    std::filesystem::remove_all(root);
    std::printf("\nratios:\n");
    std::printf("  request / bare      %.3f (goal <= 1.15)\n", single.ratio());
    std::printf("  2 clients / 1       %.3f (goal >= 1.7 on 2 cores)\n", rates[1] / rates[0]);
    std::printf("  4 clients / 1       %.3f\n", rates[2] / rates[0]);
    std::printf("  among 300 idle / alone  %.3f\n", crowded.ours_ms / alone.ours_ms);
    return 0;
}
