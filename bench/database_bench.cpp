// Cost of the database layer against the bare library calls it wraps:
//  1. put_frame with its two metadata puts vs. bare JPEG 85 encode + one put;
//  2. live_frame + encode_frame_png vs. bare JPEG decode + bare PNG encode.
#include "bench_util.h"
#include "database/frame_lookup.h"
#include "services/img_service.h"
#include "database/ldb_writer.h"

#include <leveldb/db.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <unistd.h>
#include <filesystem>
#include <memory>

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
    }
    std::filesystem::remove_all(root);
    std::printf("\nratios (goal <= 1.10):\n");
    for (const auto& [name, ratio] : ratios)
        std::printf("  %-16s %.3f\n", name.c_str(), ratio);
    return 0;
}
