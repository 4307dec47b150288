// A real camera's capture against a bare Aravis loop, side by side in one
// run, on Aravis's fake GigE Vision camera at 2048 x 1024 Mono8, in a network
// namespace of the benchmark's own (run it as root, or where user namespaces
// are allowed):
//  1. the whole process's CPU time per captured frame: the station's capture
//     thread through the camera interface, against a bare Aravis loop that
//     pops each buffer, copies it into a frame-sized buffer and pushes it
//     back, both at a rate the fake camera keeps steadily (goal <= 1.2);
//  2. the frames the station lost or got incomplete at the fake camera's
//     highest rate, the bare loop's beside them (goal 0 on loopback).
// Rounds alternate so that the machine's noise falls on both alike.
#include "runtime/app_link.h"
#include "camera/camera_discovery.h"
#include "camera/capture_thread.h"
#include "camera/frame_buffer.h"
#include "camera/JAI_Camera.h"
#include "runtime/configuration.h"
#include "runtime/thread_events.h"
#include "support/fake_gige_camera.h"
#include "support/private_network.h"

#include <arv.h>
#include <wx/init.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 2048;
constexpr int kHeight = 1024;
constexpr double kSteadyRate = 25;
constexpr double kHighestRate = 1000;  // asked for; the fake camera gives what it can
constexpr int kRounds = 7;
constexpr auto kWarmUp = 1s;
constexpr auto kMeasure = 6s;

double process_cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Takes the capture thread's events without a window: counts delivered
// frames and keeps the latest statistics text.
class sink : public wxEvtHandler {
  public:
    std::atomic<uint64_t> stats{0};
    void QueueEvent(wxEvent* event) override {
        if (event->GetEventType() == evt_grab_stats) {
            ++stats;
            std::lock_guard<std::mutex> lock(mutex_);
            last_ = static_cast<wxThreadEvent*>(event)->GetString().ToStdString();
        }
        delete event;
    }
    std::string last() {
        std::lock_guard<std::mutex> lock(mutex_);
        return last_;
    }

  private:
    std::mutex mutex_;
    std::string last_;
};

struct measurement {
    double cpu_ms_per_frame = 0;
    double fps = 0;
    uint64_t lost = 0;     // no buffer free, or never arrived
    uint64_t corrupt = 0;  // arrived incomplete
};

// "delivered: N lost: N await: N corrupt: N fps: N"
uint64_t stat(const std::string& text, const std::string& name) {
    const auto at = text.find(name + ": ");
    return at == std::string::npos ? 0 : std::stoull(text.substr(at + name.size() + 2));
}

measurement ours(const app_link_ptr& link, sink& events, const std::string& id) {
    FACTORY_HANDLE factory = nullptr;
    enumerate_cameras(factory);
    measurement m;
    {
        camera_ptr camera = JAI_Camera::open(factory, id);
        auto frame = read_frame_geometry(camera->handle());
        capture_thread* thread = start_capture_thread(link, camera->handle(), *frame);
        std::this_thread::sleep_for(kWarmUp);
        const std::string before = events.last();
        const double cpu = process_cpu_ms();
        std::this_thread::sleep_for(kMeasure);
        const double used = process_cpu_ms() - cpu;
        const std::string after = events.last();
        stop_capture_thread(thread);
        const double frames = double(stat(after, "delivered") - stat(before, "delivered"));
        m.cpu_ms_per_frame = used / std::max(1.0, frames);
        m.fps = frames / std::chrono::duration<double>(kMeasure).count();
        m.lost = stat(after, "lost");
        m.corrupt = stat(after, "corrupt");
    }
    J_Factory_Close(factory);
    return m;
}

measurement bare() {
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new("127.0.0.1", &error);
    if (!camera) {
        std::fprintf(stderr, "bare: %s\n", error->message);
        std::exit(1);
    }
    ArvStream* stream = arv_camera_create_stream(camera, nullptr, nullptr, &error);
    const guint payload = arv_camera_get_payload(camera, nullptr);
    for (int i = 0; i < 20; ++i)
        arv_stream_push_buffer(stream, arv_buffer_new_allocate(payload));
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight);
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> frames{0};
    arv_camera_start_acquisition(camera, nullptr);
    std::thread loop([&] {
        while (!stop) {
            ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream, 100000);
            if (!buffer) continue;
            if (arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS) {
                size_t size = 0;
                const void* data = arv_buffer_get_data(buffer, &size);
                std::memcpy(frame.data(), data, std::min(size, frame.size()));
                ++frames;
            }
            arv_stream_push_buffer(stream, buffer);
        }
    });
    std::this_thread::sleep_for(kWarmUp);
    const uint64_t before = frames;
    const double cpu = process_cpu_ms();
    std::this_thread::sleep_for(kMeasure);
    const double used = process_cpu_ms() - cpu;
    const double counted = double(frames - before);
    stop = true;
    loop.join();
    guint64 completed = 0, failures = 0, underruns = 0;
    arv_stream_get_statistics(stream, &completed, &failures, &underruns);
    const guint64 missing = arv_stream_get_info_uint64_by_name(stream, "n_missing_frames");
    arv_camera_stop_acquisition(camera, nullptr);
    g_object_unref(stream);
    g_object_unref(camera);
    measurement m;
    m.cpu_ms_per_frame = used / std::max(1.0, counted);
    m.fps = counted / std::chrono::duration<double>(kMeasure).count();
    m.lost = underruns + missing;
    m.corrupt = failures;
    return m;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main() {
    if (const std::string why = enter_private_network(); !why.empty()) {
        std::printf("camera_bench needs a network namespace of its own: %s\n", why.c_str());
        return 2;
    }
    if (const std::string why = fake_gige_camera::unavailable(); !why.empty()) {
        std::printf("camera_bench: %s\n", why.c_str());
        return 2;
    }
    wxInitializer init;
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-cbench-" + std::to_string(getpid()));
    std::filesystem::create_directories(root / "home/Dunmere/config");
    setenv("HOME", (root / "home").c_str(), 1);
    std::ofstream(root / "cameras.conf") << "[gige]\naddress = 127.0.0.1\n";
    setenv("JAI_SIM_CONFIG", (root / "cameras.conf").c_str(), 1);
    auto config = open_configuration(configuration_file_name((root / "home").string()));
    sink events;
    auto link = std::make_shared<app_link>(&events, config.get());

    fake_gige_camera fake("BENCH1");
    if (!fake.set_integer("Width", kWidth) || !fake.set_integer("Height", kHeight) ||
        !fake.set_float("AcquisitionFrameRate", kSteadyRate)) {
        std::printf("camera_bench: the fake camera refuses its settings\n");
        return 1;
    }
    std::vector<double> ratios;
    for (int round = 0; round < kRounds; ++round) {
        const measurement a = ours(link, events, fake.id());
        const measurement b = bare();
        std::printf(
            "round %d at %.0f fps: station %.3f ms CPU/frame (%.1f fps), bare Aravis "
            "%.3f ms CPU/frame (%.1f fps)\n",
            round + 1, kSteadyRate, a.cpu_ms_per_frame, a.fps, b.cpu_ms_per_frame, b.fps);
        ratios.push_back(a.cpu_ms_per_frame / b.cpu_ms_per_frame);
    }
    fake.set_float("AcquisitionFrameRate", kHighestRate);
    const measurement fast = ours(link, events, fake.id());
    const measurement fast_bare = bare();
    std::printf(
        "highest rate: station %.1f fps, lost %llu, corrupt %llu; bare Aravis %.1f fps, "
        "lost %llu, corrupt %llu\n",
        fast.fps, static_cast<unsigned long long>(fast.lost),
        static_cast<unsigned long long>(fast.corrupt), fast_bare.fps,
        static_cast<unsigned long long>(fast_bare.lost),
        static_cast<unsigned long long>(fast_bare.corrupt));
    link->detach();
    config.reset();
    std::filesystem::remove_all(root);
    std::printf("\nratios (%d x %d Mono8):\n", kWidth, kHeight);
    std::printf("  %-36s %.3f (goal <= 1.20)\n", "CPU per frame / bare Aravis, median",
                median(ratios));
    std::printf("  %-36s %llu (goal 0 on loopback)\n", "frames lost or corrupt at top rate",
                static_cast<unsigned long long>(fast.lost + fast.corrupt));
    return 0;
}
