// The fleet store beside what it is measured against, side by side in one
// run, against the local engine (Debian's RADOS Gateway, its daemons in the
// idle scheduling class), in a network namespace of its own:
//  1. a session's upload (the plan, every chunk with its digests, the
//     manifest, the verification) against `aws s3 cp --recursive` of the
//     same chunks as files;
//  2. one frame fetched from the store (one ranged GET, then the data
//     service's PNG) against the same frame from the station's data service
//     over loopback;
//  3. the recording's sustained odometer rate (the encoder pool, the
//     simulated camera streaming at 25 frames a second) while uploads run
//     one after another in the idle classes, against the same without.
// Frames are textured 2048 x 1024 JPEGs, as a recording stores them.
// Run as root (the namespace): build/bench/fleet_bench [FRAMES]
#include "bench_util.h"
#include "recording_rate.h"
#include "sim_camera.h"
#include "camera/capture_thread.h"
#include "database/catalogue.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "fleet/bucket_layout.h"
#include "fleet/fleet_store.h"
#include "fleet/s3_client.h"
#include "fleet/session_plan.h"
#include "fleet/session_upload.h"
#include "fleet/upload_state.h"
#include "runtime/thread_priority.h"
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

// Uploads of the session at `path`, each to a place of its own, one after
// another in the idle classes until stopped: the upload thread's load.
class upload_load {
  public:
    upload_load(const s3_settings& settings, const std::filesystem::path& root,
                const std::string& path)
        : store_(settings) {
        thread_ = std::thread([this, root, path] {
            run_in_idle_class();
            for (int round = 0;; ++round) {
                try {
                    upload_state state((root / ("load-state" + std::to_string(round))).string(),
                                       store_.settings().endpoint, store_.settings().bucket);
                    session_upload(store_, state, path, "load" + std::to_string(round)).run();
                    ++uploads;
                } catch (const s3_aborted&) {
                    return;
                }
            }
        });
    }
    ~upload_load() {
        store_.abort();
        thread_.join();
    }
    std::atomic<int> uploads{0};

  private:
    s3_client store_;
    std::thread thread_;
};

// The share of the recording's sustained rate kept while uploads run.
double recording_beside_uploads(const std::filesystem::path& root, const s3_settings& settings,
                                const std::string& path) {
    const auto home = root / "rhome";
    std::filesystem::create_directories(home / "Dunmere/config");
    auto config = open_configuration(configuration_file_name(home.string()));
    config->Write(cfg::write_path, wxString((root / "rec").string()));
    config->Write(cfg::coordinate_server_enabled, false);
    rate_counter sink;
    auto link = std::make_shared<app_link>(&sink, config.get());
    const simulated_camera camera(2048, 1024, 25);
    auto frame = read_frame_geometry(camera.camera);
    capture_thread* capture = start_capture_thread(link, camera.camera, *frame);
    wait_for_frames(*frame);
    std::printf("recording at 2048x1024, camera at 25 frames/s:\n");
    const size_t encoders = write_thread::default_encoders();
    const double alone =
        sustained(link, *config, sink, *frame, encoders, 1.0,
                  {2.4, 2.2, 2.0, 1.9, 1.8, 1.7, 1.6, 1.5, 1.4, 1.2, 1.0}, "pool alone");
    double beside = 0;
    if (alone > 0) {
        upload_load load(settings, root, path);
        beside = sustained(link, *config, sink, *frame, encoders, alone,
                           {1.0, 0.97, 0.95, 0.9, 0.85, 0.8, 0.7}, "pool, uploads running");
        std::printf("  uploads finished meanwhile: %d\n", load.uploads.load());
    }
    stop_capture_thread(capture);
    link->detach();
    return beside;
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

    // 3. The recording with uploads running, against without.
    const double with_uploads = recording_beside_uploads(root, settings, path);

    std::filesystem::remove_all(root);
    std::printf("\nratios:\n");
    std::printf("  upload throughput / aws s3 cp   %.3f (goal >= 0.8)\n",
                upload.bare_ms / upload.ours_ms);
    std::printf("  frame from store / data service %.3f\n", frame.ratio());
    std::printf("  recording with uploads / without %.3f (goal >= 0.95)\n", with_uploads);
    return 0;
}
