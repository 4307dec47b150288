// A data request for a live frame (lookup, decode, encode, reply) against the
// OpenCV path it replaces (colour decoding, cv::imencode PNG at level 5),
// side by side on the same frames: the camera simulator's scene, stored by
// the station's writer as the recorder stores it (JPEG 85). Prints the
// speed-up, the reply size ratio, and whether both replies decode to the same
// pixels.
#include "bench_util.h"
#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/jai_sim.h"
#include "database/frame_lookup.h"
#include "database/ldb_writer.h"
#include "services/data_protocol.h"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace {

void require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

// `count` consecutive frames of a simulated Mono8 line-scan camera.
std::vector<cv::Mat> simulated_frames(int width, int height, int count) {
    jai_sim::camera_config config = jai_sim::default_cameras()[0];
    config.width = width;
    config.height = height;
    config.fps = 50;
    jai_sim::set_cameras({config});
    FACTORY_HANDLE factory = nullptr;
    require(J_Factory_Open("", &factory) == J_ST_SUCCESS, "J_Factory_Open");
    bool8_t changed = 0;
    J_Factory_UpdateCameraList(factory, &changed);
    CAM_HANDLE camera = nullptr;
    require(J_Camera_Open(factory, config.id.c_str(), &camera, 0) == J_ST_SUCCESS, "J_Camera_Open");
    STREAM_HANDLE stream = nullptr;
    require(J_Camera_CreateDataStream(camera, 0, &stream) == J_ST_SUCCESS, "data stream");
    const size_t size = size_t(width) * height;
    std::vector<std::vector<uint8_t>> memory(2, std::vector<uint8_t>(size));
    std::vector<BUF_HANDLE> buffers;
    for (auto& m : memory) {
        BUF_HANDLE b = nullptr;
        J_DataStream_AnnounceBuffer(stream, m.data(), uint32_t(size), nullptr, &b);
        J_DataStream_QueueBuffer(stream, b);
        buffers.push_back(b);
    }
    J_COND_HANDLE condition = nullptr;
    EVT_HANDLE event = nullptr;
    J_Event_CreateCondition(&condition);
    J_DataStream_RegisterEvent(stream, EVENT_NEW_BUFFER, condition, &event);
    J_DataStream_StartAcquisition(stream, ACQ_START_NEXT_IMAGE, ~0ull);
    J_Camera_ExecuteCommand(camera, "AcquisitionStart");

    std::vector<cv::Mat> frames;
    while (int(frames.size()) < count) {
        int32_t result = 0;
        J_Event_WaitForCondition(condition, 5000, &result);
        require(result == J_COND_WAIT_SIGNAL, "waiting for a frame");
        J_EVENT_DATA_NEW_BUFFER data{};
        uint32_t data_size = sizeof(data);
        J_Event_GetData(event, &data, &data_size);
        uint64_t base = 0;
        uint32_t s8 = 8;
        J_DataStream_GetBufferInfo(stream, data.BufferHandle, BUFFER_INFO_BASE, &base, &s8);
        frames.push_back(cv::Mat(height, width, CV_8UC1, reinterpret_cast<void*>(base)).clone());
        J_DataStream_QueueBuffer(stream, data.BufferHandle);
    }

    J_Camera_ExecuteCommand(camera, "AcquisitionStop");
    J_DataStream_UnRegisterEvent(stream, EVENT_NEW_BUFFER);
    J_Event_Close(event);
    J_Event_CloseCondition(condition);
    J_DataStream_StopAcquisition(stream, ACQ_STOP_FLAG_KILL);
    J_DataStream_FlushQueue(stream, ACQ_QUEUE_INPUT_TO_OUTPUT);
    J_DataStream_FlushQueue(stream, ACQ_QUEUE_OUTPUT_DISCARD);
    for (auto b : buffers)
        J_DataStream_RevokeBuffer(stream, b, nullptr, nullptr);
    J_DataStream_Close(stream);
    J_Camera_Close(camera);
    J_Factory_Close(factory);
    return frames;
}

// The reply the service built before: the colour decoding encoded by OpenCV.
std::vector<uint8_t> opencv_reply(uint32_t value) {
    cv::Mat image;
    live_frame(value, image);
    std::vector<uint8_t> png;
    require(cv::imencode(".png", image, png, {cv::IMWRITE_PNG_COMPRESSION, 5}), "cv::imencode");
    return frame_reply(png);
}

// The reply the service builds now (img_service::reply_to for a live request).
std::vector<uint8_t> station_reply(uint32_t value) {
    return frame_reply(live_frame_png(value));
}

cv::Mat decode_reply(const std::vector<uint8_t>& reply) {
    require(reply.size() > kReplyHeaderSize &&
                reply_length(reply.data()) == reply.size() - kReplyHeaderSize,
            "reply length");
    const std::vector<uint8_t> png(reply.begin() + kReplyHeaderSize, reply.end());
    return cv::imdecode(png, cv::IMREAD_UNCHANGED);
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    const cv::Mat differ = a != b;
    return cv::countNonZero(differ.reshape(1)) == 0;
}

}  // namespace

int main() {
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-dbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root);
    constexpr int kFrames = 4;
    constexpr int kRounds = 16;
    bool all_identical = true;
    std::printf("%-10s %12s %12s %9s %11s %s\n", "frame", "OpenCV ms", "station ms", "speed-up",
                "bytes ratio", "pixels");

    for (const cv::Size size : {cv::Size(2048, 1024), cv::Size(4096, 1024)}) {
        const std::string tag = std::to_string(size.width) + "x" + std::to_string(size.height);
        ldb_writer& live = ldb_writer::live();
        live.open((root / tag).string());
        const auto frames = simulated_frames(size.width, size.height, kFrames);
        for (int i = 0; i < kFrames; ++i)
            live.put_frame(frames[i], uint32_t(10 * (i + 1)));

        double worst_bytes = 0;
        bool identical = true;
        for (int i = 0; i < kFrames; ++i) {
            // Values between two frames: the lookup seeks forward, as clients' do.
            const uint32_t value = uint32_t(10 * i + 5);
            const auto before = opencv_reply(value);
            const auto now = station_reply(value);
            worst_bytes = std::max(worst_bytes, double(now.size()) / double(before.size()));
            const cv::Mat a = decode_reply(before), b = decode_reply(now);
            identical = identical && !a.empty() && a.channels() == 3 && same_pixels(a, b);
        }
        all_identical = all_identical && identical;

        uint32_t next_ours = 0, next_bare = 0;
        const auto request = compare(
            kRounds,
            [&] {
                const auto reply = station_reply(uint32_t(10 * (next_ours++ % kFrames) + 5));
                require(reply.size() > kReplyHeaderSize, "station reply");
            },
            [&] {
                const auto reply = opencv_reply(uint32_t(10 * (next_bare++ % kFrames) + 5));
                require(reply.size() > kReplyHeaderSize, "OpenCV reply");
            });
        std::printf("%-10s %12.1f %12.1f %8.2fx %10.3fx %s\n", tag.c_str(), request.bare_ms,
                    request.ours_ms, 1.0 / request.ratio(), worst_bytes,
                    identical ? "identical" : "DIFFERENT");
        live.close("", "");
    }
    std::filesystem::remove_all(root);
    std::printf("\ngoals: speed-up >= 5x (8x hoped for), bytes ratio <= 1.10x, pixels identical\n");
    return all_identical ? 0 : 1;
}
