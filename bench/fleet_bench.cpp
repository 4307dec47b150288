// The fleet store beside what it is measured against, side by side in one
// run, against the local engine (Debian's RADOS Gateway, its daemons in the
// idle scheduling class), in a network namespace of its own:
//  1. a session's upload (the plan, every chunk with its digests, the
//     manifest, the verification) against `aws s3 cp --recursive` of the
//     same chunks as files;
//  2. one frame fetched from the store (one ranged GET, then the data
//     service's PNG) against the same frame from the station's data service
//     over loopback.
// Frames are textured 2048 x 1024 JPEGs, as a recording stores them.
// Run as root (the namespace): build/bench/fleet_bench [FRAMES]
#include "bench_util.h"
#include "database/catalogue.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "fleet/bucket_layout.h"
#include "fleet/fleet_store.h"
#include "fleet/s3_client.h"
#include "fleet/session_plan.h"
#include "fleet/session_upload.h"
#include "fleet/upload_state.h"
#include "local_data_service.h"
#include "services/data_protocol.h"
#include "support/fleet_engine.h"
#include "support/private_network.h"

#include <boost/asio.hpp>
#include <wx/init.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

std::vector<uint8_t> served_frame(unsigned short port, const request_bytes& request) {
    asio::io_context io;
    tcp::socket socket(io);
    for (int i = 0; i < 200; ++i) {
        boost::system::error_code ec;
        socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec);
        if (!ec) break;
        socket.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    asio::write(socket, asio::buffer(request));
    uint8_t head[4];
    asio::read(socket, asio::buffer(head));
    std::vector<uint8_t> png(reply_length(head));
    asio::read(socket, asio::buffer(png));
    return png;
}

}  // namespace

int main(int argc, char** argv) {
    if (const std::string why = enter_private_network(); !why.empty()) {
        std::fprintf(stderr, "fleet_bench: %s\n", why.c_str());
        return 1;
    }
    if (const std::string why = fleet_engine::unavailable(); !why.empty()) {
        std::fprintf(stderr, "fleet_bench: %s\n", why.c_str());
        return 1;
    }
    wxInitializer init;
    const int frames = argc > 1 ? std::atoi(argv[1]) : 240;
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-fbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    fleet_engine engine(/*idle=*/true);

    const std::string path = (root / "2024.03.05 14.07.09").string();
    {
        ldb_writer w;
        w.open(path);
        for (int i = 0; i < frames; ++i) {
            const uint32_t key = 1000 + 4 * uint32_t(i);
            if (i == 0) {
                w.put_dpp_start(key);
                w.put_time_start(1709647629);
            }
            w.put_dpp_end(key);
            w.put_time_end(1709647629 + i / 25);
            w.put_frame(textured_frame(2048, 1024, i + 1), key);
        }
        w.close("B : 1", "left");
    }
    uint64_t bytes = 0;
    const auto chunks = root / "chunks";
    {
        std::filesystem::create_directories(chunks);
        session_plan plan(path, "x");
        bytes = plan.total_bytes();
        for (size_t i = 0; i < plan.chunk_count(); ++i) {
            std::ofstream((chunks / bucket_layout::chunk_name(i)).string(), std::ios::binary)
                << plan.chunk_bytes(i);
        }
        std::printf("%d frames, %.1f MB in %zu chunks\n", frames, bytes / 1e6, plan.chunk_count());
    }

    s3_settings settings;
    settings.endpoint = engine.endpoint();
    settings.bucket = engine.bucket();
    settings.access_key = engine.account().access_key;
    settings.secret_key = engine.account().secret_key;
    s3_client store(settings);

    // 1. Uploads, each to a place of its own.
    int round = 0;
    const auto upload = compare(
        3,
        [&] {
            upload_state state((root / ("state" + std::to_string(round))).string(),
                               settings.endpoint, settings.bucket);
            session_upload(store, state, path, "ours" + std::to_string(round)).run();
        },
        [&] {
            const auto r =
                engine.aws({"s3", "cp", "--recursive", "--quiet", chunks.string(),
                            "s3://" + engine.bucket() + "/aws" + std::to_string(round++) + "/"});
            if (r.status != 0) {
                std::fprintf(stderr, "aws s3 cp failed: %s\n", r.err.c_str());
                std::abort();
            }
        });
    std::printf("upload: ours %.0f ms (%.1f MB/s), aws s3 cp %.0f ms (%.1f MB/s)\n", upload.ours_ms,
                bytes / 1e3 / upload.ours_ms, upload.bare_ms, bytes / 1e3 / upload.bare_ms);

    // 2. One frame: from the store, and from the data service.
    {
        ldb_reader reader(path);
        catalogue::instance().append({reader.read_info(), path});
    }
    auto service = std::make_unique<local_data_service>(root / "home");
    const unsigned short port = service->port();
    fleet_store reader(store);
    const session_manifest m = *reader.manifest("ours0/left/20240305T140709/");
    const uint32_t value = 1000 + 4 * uint32_t(frames / 2);
    const auto request = encode_data_request("B", "1", value);
    if (reader.frame_png(m, value) != served_frame(port, request)) {
        std::fprintf(stderr, "the two PNGs differ\n");
        return 1;
    }
    const auto frame = compare(
        15, [&] { reader.frame_png(m, value); }, [&] { served_frame(port, request); });
    std::printf("one frame: from the store %.1f ms, from the data service %.1f ms\n", frame.ours_ms,
                frame.bare_ms);

    service.reset();
    std::filesystem::remove_all(root);
    std::printf("\nratios:\n");
    std::printf("  upload throughput / aws s3 cp   %.3f (goal >= 0.8)\n",
                upload.bare_ms / upload.ours_ms);
    std::printf("  frame from store / data service %.3f\n", frame.ratio());
    return 0;
}
