// Cost of the database layer against the bare library calls it wraps:
//  1. put_frame with its two metadata puts vs. bare JPEG 85 encode + one put;
//  2. live_frame + encode_frame_png vs. bare JPEG decode + bare PNG encode;
//  3. closing a session (its closing entries, its last write buffer moved
//     into a table, its record read) vs. the closing puts and a bare close,
//     and the first read of the record afterwards, each way.
#include "bench_util.h"
#include "database/frame_lookup.h"
#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/shared_store.h"
#include "services/img_service.h"
#include "database/ldb_writer.h"

#include <leveldb/db.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <memory>

namespace {

using bench_clock = std::chrono::steady_clock;

double ms_between(bench_clock::time_point a, bench_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// A store with the writer's own options, for the bare side.
std::unique_ptr<leveldb::DB> open_like_the_writer(const std::string& path) {
    leveldb::Options options;
    options.create_if_missing = true;
    options.write_buffer_size = size_t(64) << 20;
    options.max_file_size = size_t(64) << 20;
    options.compression = leveldb::kNoCompression;
    leveldb::DB* raw = nullptr;
    if (!leveldb::DB::Open(options, path, &raw).ok()) std::abort();
    return std::unique_ptr<leveldb::DB>(raw);
}

// Sessions of `frames` frames closed both ways, in rounds side by side.
void compare_closing(const std::filesystem::path& root, const std::vector<uint8_t>& jpeg,
                     int frames, const std::string& tag,
                     std::vector<std::pair<std::string, double>>& ratios) {
    const leveldb::Slice bytes(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
    std::vector<double> close_ours, close_bare, read_ours, read_bare;
    for (int round = 0; round < 5; ++round) {
        const std::string ours = (root / ("close-ours-" + tag + std::to_string(round))).string();
        const std::string bare = (root / ("close-bare-" + tag + std::to_string(round))).string();
        ldb_writer writer;
        writer.open(ours);
        auto db = open_like_the_writer(bare);
        for (int v = 1; v <= frames; ++v) {
            writer.put_frame_jpeg(jpeg, uint32_t(v));
            writer.put_dpp_end(uint32_t(v));
            db->Put(leveldb::WriteOptions(), frame_key(uint32_t(v)), bytes);
            db->Put(leveldb::WriteOptions(), ldb_key::dpp_end, frame_key(uint32_t(v)));
        }
        writer.put_dpp_start(1);
        db->Put(leveldb::WriteOptions(), ldb_key::dpp_start, frame_key(1));
        auto t0 = bench_clock::now();
        writer.close("A : B", "left");
        auto t1 = bench_clock::now();
        db->Put(leveldb::WriteOptions(), ldb_key::session, "A : B");
        db->Put(leveldb::WriteOptions(), ldb_key::side, "left");
        db->Put(leveldb::WriteOptions(), ldb_key::count, count_text(uint64_t(frames)));
        db.reset();
        auto t2 = bench_clock::now();
        close_ours.push_back(ms_between(t0, t1));
        close_bare.push_back(ms_between(t1, t2));
        // The scan's read: the store opened, the record read, the handle let go.
        t0 = bench_clock::now();
        ldb_reader(ours).read_info();
        shared_store::release(ours);
        t1 = bench_clock::now();
        ldb_reader(bare).read_info();
        shared_store::release(bare);
        t2 = bench_clock::now();
        read_ours.push_back(ms_between(t0, t1));
        read_bare.push_back(ms_between(t1, t2));
    }
    const double co = median(close_ours), cb = median(close_bare);
    const double ro = median(read_ours), rb = median(read_bare);
    std::printf(
        "%s close of %d frames: %.1f ms, bare: %.1f ms; first read after: %.1f ms, "
        "bare: %.1f ms\n",
        tag.c_str(), frames, co, cb, ro, rb);
    ratios.emplace_back("close " + tag, co / cb);
    ratios.emplace_back("close+read " + tag, (co + ro) / (cb + rb));
}

}  // namespace

int main() {
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    std::vector<std::pair<std::string, double>> ratios;

    for (const cv::Size size : {cv::Size(2048, 1024), cv::Size(4096, 1024)}) {
        const cv::Mat frame = textured_frame(size.width, size.height);
        const std::string tag = std::to_string(size.width) + "x" + std::to_string(size.height);

        ldb_writer& live = ldb_writer::live();
        live.open((root / ("ours-" + tag)).string());
        auto bare_db = open_bare_store((root / ("bare-" + tag)).string());

        uint32_t value = 0;
        const auto put = compare(
            30,
            [&] {
                ++value;
                live.put_dpp_end(value);
                live.put_time_end(std::time(nullptr));
                live.put_frame(frame, value);
            },
            [&] { bare_encode_and_put(*bare_db, frame, value); });
        std::printf("%s put_frame+2 puts: %.2f ms, bare encode+put: %.2f ms\n", tag.c_str(),
                    put.ours_ms, put.bare_ms);
        ratios.emplace_back("put " + tag, put.ratio());

        std::vector<uint8_t> jpeg;
        cv::imencode(".jpg", frame, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
        const auto fetch = compare(
            20,
            [&] {
                cv::Mat image;
                live_frame(value / 2, image);
                const auto reply = encode_frame_png(image);
                if (reply.size() < 8) std::abort();
            },
            [&] {
                const cv::Mat image = cv::imdecode(jpeg, cv::IMREAD_COLOR);
                std::vector<uint8_t> png;
                cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 5});
            });
        std::printf("%s live_frame+png: %.2f ms, bare decode+png: %.2f ms\n", tag.c_str(),
                    fetch.ours_ms, fetch.bare_ms);
        ratios.emplace_back("fetch " + tag, fetch.ratio());
        live.close("", "");
        compare_closing(root, jpeg, 60, tag, ratios);
    }
    std::filesystem::remove_all(root);
    std::printf("\nratios (goal <= 1.10; a close moves the buffer a later open would):\n");
    for (const auto& [name, ratio] : ratios)
        std::printf("  %-16s %.3f\n", name.c_str(), ratio);
    return 0;
}
