// Camera simulator behind the camera SDK's C interface.
//
// One mutex (g_mutex) guards every simulator object; the producer thread of a
// stream fills a buffer outside it, while the buffer is owned by the stream.
#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/jai_sim.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

struct j_factory {
    std::vector<jai_sim::camera_config> cameras;  // as of the last list update
};

struct j_stream;

struct j_camera {
    jai_sim::camera_config config;
    std::string exposure_mode = "Off";
    bool acquiring = false;  // "AcquisitionStart" executed
    j_stream* stream = nullptr;
};

struct j_buffer {
    uint8_t* memory = nullptr;
    uint32_t size = 0;
    void* private_data = nullptr;
    enum { idle, queued, filling, filled, delivered } state = idle;
    uint64_t timestamp = 0;
    uint64_t frame_id = 0;
    uint32_t width = 0, height = 0;
    uint64_t pixel_type = 0;
    uint32_t image_size = 0;
};

struct j_condition;

struct j_event {
    j_stream* stream = nullptr;
    j_condition* condition = nullptr;
};

struct j_condition {
    std::condition_variable cv;
    std::set<j_event*> events;
    bool exit_pending = false;
};

struct j_stream {
    j_camera* camera = nullptr;
    std::set<j_buffer*> buffers;
    std::deque<j_buffer*> input;   // queued for filling
    std::deque<j_buffer*> output;  // filled, awaiting delivery
    j_event* event = nullptr;
    bool running = false;
    bool stop = false;
    std::thread producer;
    std::condition_variable producer_cv;
    uint64_t delivered = 0, lost = 0, corrupt = 0, frames = 0;
    std::chrono::steady_clock::time_point started;
};

namespace {

std::mutex g_mutex;
// State below is protected by g_mutex.
std::vector<jai_sim::camera_config> g_cameras;
bool g_cameras_loaded = false;
std::set<j_factory*> g_factories;
std::set<j_camera*> g_open_cameras;
std::set<j_stream*> g_streams;
std::set<j_condition*> g_conditions;
std::set<j_event*> g_events;
struct failure {
    int skip;
    int times;
};
std::map<std::string, failure> g_failures;
int32_t g_forced_wait_result = 0;
int g_forced_wait_times = 0;

const char* const kExposureModes[] = {
    "Off",
    "ContinuousPreset1",
    "ContinuousPreset2",
    "ContinuousPreset3",
    "ContinuousPreset4",
    "ContinuousPreset5",
    "ContinuousPreset6",
    "ContinuousPreset7",
    "ContinuousPreset8",
    "ContinuousPreset9",
};

std::vector<jai_sim::camera_config> load_settings() {
    std::string path;
    if (const char* env = std::getenv("JAI_SIM_CONFIG"); env && *env) {
        path = env;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        path = std::string(home) + "/.jai_sim.conf";
    }
    std::ifstream in(path);
    if (path.empty() || !in) {
        return jai_sim::default_cameras();
    }
    std::vector<jai_sim::camera_config> cameras;
    std::string error;
    if (!jai_sim::parse_settings(in, cameras, error)) {
        std::fprintf(stderr, "camera simulator: %s: %s; using the default cameras\n", path.c_str(),
                     error.c_str());
        return jai_sim::default_cameras();
    }
    return cameras;
}

// Must hold g_mutex.
const std::vector<jai_sim::camera_config>& cameras_locked() {
    if (!g_cameras_loaded) {
        g_cameras = load_settings();
        g_cameras_loaded = true;
    }
    return g_cameras;
}

// Must hold g_mutex. True when an injected failure applies to this call.
bool injected(const char* call) {
    auto it = g_failures.find(call);
    if (it == g_failures.end()) {
        return false;
    }
    if (it->second.skip > 0) {
        --it->second.skip;
        return false;
    }
    if (it->second.times == 0) {
        return false;
    }
    if (it->second.times > 0) {
        --it->second.times;
    }
    return true;
}

#define SIM_ENTER(call)                         \
    std::unique_lock<std::mutex> lock(g_mutex); \
    if (injected(call)) return J_ST_ERROR

J_STATUS_TYPE put_text(const std::string& text, char* buffer, uint32_t* size) {
    if (!buffer || !size) {
        return J_ST_INVALID_PARAMETER;
    }
    const uint32_t needed = static_cast<uint32_t>(text.size() + 1);
    if (*size < needed) {
        *size = needed;
        return J_ST_INVALID_BUFFER_SIZE;
    }
    std::memcpy(buffer, text.c_str(), needed);
    *size = needed;
    return J_ST_SUCCESS;
}

template <typename T>
J_STATUS_TYPE put_value(T value, void* out, uint32_t* size) {
    if (!out || !size || *size < sizeof(T)) {
        return J_ST_INVALID_BUFFER_SIZE;
    }
    std::memcpy(out, &value, sizeof(T));
    *size = sizeof(T);
    return J_ST_SUCCESS;
}

uint32_t bits_per_pixel(uint64_t pixel_format) {
    return std::max<uint32_t>(8, (pixel_format >> 16) & 0xFF);
}

// Bar code geometry shared by the drawing and the reading of frame numbers.
struct bar_code {
    uint32_t block, x0, y0;
    static constexpr int kBlocks = 36;  // guard 2 + 32 bits + guard 2
    static bool fits(uint32_t width, uint32_t height, bar_code& code) {
        if (width < 32 + kBlocks * 4 || height < 64) {
            return false;
        }
        code.block = std::min<uint32_t>(24, (width - 32) / kBlocks);
        code.x0 = 16;
        code.y0 = 16;
        return code.block * 2 + code.y0 < height;
    }
    static bool bit(uint64_t number, int i) {
        if (i == 0 || i == kBlocks - 1) return true;   // white guards outside,
        if (i == 1 || i == kBlocks - 2) return false;  // black guards inside
        return (number >> (i - 2)) & 1;
    }
};

// Synthetic view from under a car: rails, sleepers and ballast scroll by as
// the vehicle moves; each frame carries its number as a bar code.
class scene {
  public:
    scene(uint32_t width, uint32_t height) : width_(width), height_(height) {
        texture_.resize(size_t(width) * (height + kPeriod));
        uint32_t seed = 12345;
        for (uint32_t y = 0; y < height + kPeriod; ++y) {
            const bool sleeper = (y % kPeriod) < kPeriod / 3;
            for (uint32_t x = 0; x < width; ++x) {
                seed = seed * 1103515245u + 12345u;
                int v = 40 + int((seed >> 16) % 50);  // ballast
                if (sleeper) v = 110 + int((seed >> 16) % 20);
                const uint32_t r1 = width / 4, r2 = width * 3 / 4, half = std::max(4u, width / 60);
                if ((x > r1 - half && x < r1 + half) || (x > r2 - half && x < r2 + half)) {
                    v = 210 + int((seed >> 16) % 30);  // rail heads
                }
                if (x < width / 30 || x > width - width / 30) v /= 2;  // vignette
                texture_[size_t(y) * width + x] = uint8_t(std::min(v, 255));
            }
        }
    }

    // Writes frame n as 8-bit grey into `gray` (width * height bytes).
    void draw(uint64_t n, uint8_t* gray) const {
        const uint32_t scroll = uint32_t((n * 37) % kPeriod);
        std::memcpy(gray, texture_.data() + size_t(scroll) * width_, size_t(width_) * height_);
        bar_code code{};
        if (!bar_code::fits(width_, height_, code)) return;
        for (int i = 0; i < bar_code::kBlocks; ++i) {
            const uint8_t v = bar_code::bit(n, i) ? 255 : 0;
            for (uint32_t y = code.y0; y < code.y0 + code.block * 2; ++y) {
                std::memset(gray + size_t(y) * width_ + code.x0 + i * code.block, v, code.block);
            }
        }
    }

  private:
    static constexpr uint32_t kPeriod = 180;
    uint32_t width_, height_;
    std::vector<uint8_t> texture_;
};

void produce(j_stream* stream) {
    jai_sim::camera_config config;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        config = stream->camera->config;
    }
    const uint32_t width = uint32_t(std::max<int64_t>(0, config.width));
    const uint32_t height = uint32_t(std::max<int64_t>(0, config.height));
    const uint32_t bpp = bits_per_pixel(uint64_t(config.pixel_format));
    const size_t image_size = size_t(bpp) * width * height / 8;
    scene view(width, height);
    std::vector<uint8_t> gray(size_t(width) * height);
    const auto period = config.fps > 0
                            ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(1.0 / config.fps))
                            : std::chrono::hours(24);
    auto next = std::chrono::steady_clock::now() + period;

    std::unique_lock<std::mutex> lock(g_mutex);
    while (true) {
        stream->producer_cv.wait_until(lock, next, [&] { return stream->stop; });
        if (stream->stop) return;
        next += period;
        if (!stream->camera->acquiring) continue;
        const uint64_t n = stream->frames++;
        if (stream->input.empty()) {
            ++stream->lost;
            continue;
        }
        j_buffer* buffer = stream->input.front();
        stream->input.pop_front();
        buffer->state = j_buffer::filling;
        lock.unlock();

        view.draw(n, gray.data());
        const size_t bytes = std::min<size_t>(buffer->size, image_size);
        if (bpp == 8) {
            std::memcpy(buffer->memory, gray.data(), bytes);
        } else {
            const size_t step = (bpp + 7) / 8;
            std::memset(buffer->memory, 0, bytes);
            for (size_t i = 0; i * step + 1 < bytes && i < gray.size(); ++i) {
                const uint16_t v = uint16_t(gray[i]) << (std::min<uint32_t>(bpp, 16) - 8);
                std::memcpy(buffer->memory + i * step, &v, 2);
            }
        }
        const auto now = std::chrono::steady_clock::now();

        lock.lock();
        buffer->timestamp = uint64_t(
            std::chrono::duration_cast<std::chrono::microseconds>(now - stream->started).count());
        buffer->frame_id = n;
        buffer->width = width;
        buffer->height = height;
        buffer->pixel_type = uint64_t(config.pixel_format);
        buffer->image_size = uint32_t(bytes);
        buffer->state = j_buffer::filled;
        stream->output.push_back(buffer);
        ++stream->delivered;
        if (config.corrupt_every && stream->delivered % config.corrupt_every == 0) {
            ++stream->corrupt;
        }
        if (stream->event && stream->event->condition) {
            stream->event->condition->cv.notify_all();
        }
    }
}

// Must hold the lock; joins the producer with the lock released.
void stop_producer(std::unique_lock<std::mutex>& lock, j_stream* stream) {
    if (!stream->running) return;
    stream->running = false;
    stream->stop = true;
    stream->producer_cv.notify_all();
    lock.unlock();
    stream->producer.join();
    lock.lock();
}

}  // namespace

namespace jai_sim {

std::vector<camera_config> default_cameras() {
    camera_config fd;
    fd.id = "TL=>GevTL , INT=>FD , MAC=>00-0C-DF-0A-00-01 , DEV=>SIM-LS2048-0001";
    fd.model = "SIM-LS2048";
    fd.ip = "192.168.10.11";
    camera_config sd = fd;
    sd.id = "TL=>GevTL , INT=>SD , MAC=>00-0C-DF-0A-00-02 , DEV=>SIM-LS2048-0002";
    sd.ip = "192.168.10.12";
    return {fd, sd};
}

bool parse_settings(std::istream& in, std::vector<camera_config>& cameras, std::string& error) {
    cameras.clear();
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(number) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        auto trim = [](std::string s) {
            const auto b = s.find_first_not_of(" \t\r");
            const auto e = s.find_last_not_of(" \t\r");
            return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
        };
        line = trim(line);
        if (line.empty()) continue;
        if (line == "[camera]") {
            cameras.emplace_back();
            cameras.back().id = "TL=>GevTL , INT=>SD , DEV=>SIM-" + std::to_string(cameras.size());
            cameras.back().model = "SIM-LS2048";
            cameras.back().ip = "192.168.10." + std::to_string(10 + cameras.size());
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) return fail("expected key = value or [camera]");
        if (cameras.empty()) return fail("key outside a [camera] section");
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        camera_config& c = cameras.back();
        try {
            size_t used = 0;
            if (key == "id") {
                c.id = value;
            } else if (key == "model") {
                c.model = value;
            } else if (key == "ip") {
                c.ip = value;
            } else if (key == "width" || key == "height" || key == "pixel_format") {
                const int64_t v = std::stoll(value, &used, 0);
                if (used != value.size()) return fail("bad number for " + key);
                (key == "width" ? c.width : key == "height" ? c.height : c.pixel_format) = v;
            } else if (key == "fps") {
                c.fps = std::stod(value, &used);
                if (used != value.size()) return fail("bad number for fps");
            } else if (key == "corrupt_every") {
                c.corrupt_every = uint32_t(std::stoul(value, &used));
                if (used != value.size()) return fail("bad number for corrupt_every");
            } else {
                return fail("unknown key " + key);
            }
        } catch (const std::exception&) {
            return fail("bad number for " + key);
        }
    }
    return true;
}

void set_cameras(std::vector<camera_config> cameras) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cameras = std::move(cameras);
    g_cameras_loaded = true;
}

void reset() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_cameras_loaded = false;
    g_failures.clear();
    g_forced_wait_times = 0;
}

void fail_call(const std::string& call, int skip, int times) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failures[call] = failure{skip, times};
}

void force_wait_result(int32_t result, int times) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_forced_wait_result = result;
    g_forced_wait_times = times;
}

int open_cameras() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return int(g_open_cameras.size());
}

int open_streams() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return int(g_streams.size());
}

int announced_buffers() {
    std::lock_guard<std::mutex> lock(g_mutex);
    size_t n = 0;
    for (auto* s : g_streams)
        n += s->buffers.size();
    return int(n);
}

int64_t read_frame_number(const uint8_t* pixels, uint32_t width, uint32_t height, bool rotated) {
    bar_code code{};
    if (!pixels || !bar_code::fits(width, height, code)) return -1;
    auto at = [&](uint32_t x, uint32_t y) {
        if (rotated) {
            x = width - 1 - x;
            y = height - 1 - y;
        }
        return pixels[size_t(y) * width + x];
    };
    uint64_t number = 0;
    for (int i = 0; i < bar_code::kBlocks; ++i) {
        unsigned sum = 0;
        const uint32_t cx = code.x0 + i * code.block + code.block / 2;
        const uint32_t cy = code.y0 + code.block;
        for (uint32_t dy = 0; dy < 2; ++dy)
            for (uint32_t dx = 0; dx < 2; ++dx)
                sum += at(cx + dx, cy + dy);
        const bool white = sum / 4 >= 128;
        if (i < 2 || i >= bar_code::kBlocks - 2) {
            if (white != bar_code::bit(0, i)) return -1;
        } else if (white) {
            number |= uint64_t(1) << (i - 2);
        }
    }
    return int64_t(number);
}

}  // namespace jai_sim

extern "C" {

J_STATUS_TYPE J_Factory_Open(const char*, FACTORY_HANDLE* factory) {
    SIM_ENTER("J_Factory_Open");
    if (!factory) return J_ST_INVALID_PARAMETER;
    auto* f = new j_factory;
    g_factories.insert(f);
    *factory = f;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_Close(FACTORY_HANDLE factory) {
    SIM_ENTER("J_Factory_Close");
    if (!g_factories.erase(factory)) return J_ST_INVALID_HANDLE;
    delete factory;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_GetInfo(int32_t info, char* buffer, uint32_t* size) {
    SIM_ENTER("J_Factory_GetInfo");
    if (info != FAC_INFO_VERSION) return J_ST_INVALID_PARAMETER;
    return put_text("SDK simulator 1.0.0", buffer, size);
}

J_STATUS_TYPE J_Factory_UpdateCameraList(FACTORY_HANDLE factory, bool8_t* changed) {
    SIM_ENTER("J_Factory_UpdateCameraList");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    const auto& cameras = cameras_locked();
    const bool differs = factory->cameras.size() != cameras.size() ||
                         !std::equal(cameras.begin(), cameras.end(), factory->cameras.begin(),
                                     [](auto& a, auto& b) { return a.id == b.id; });
    factory->cameras = cameras;
    if (changed) *changed = differs ? 1 : 0;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_GetNumOfCameras(FACTORY_HANDLE factory, uint32_t* count) {
    SIM_ENTER("J_Factory_GetNumOfCameras");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (!count) return J_ST_INVALID_PARAMETER;
    *count = uint32_t(factory->cameras.size());
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Factory_GetCameraIDByIndex(FACTORY_HANDLE factory, int32_t index, char* buffer,
                                           uint32_t* size) {
    SIM_ENTER("J_Factory_GetCameraIDByIndex");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (index < 0 || size_t(index) >= factory->cameras.size()) return J_ST_INVALID_PARAMETER;
    return put_text(factory->cameras[index].id, buffer, size);
}

J_STATUS_TYPE J_Factory_GetCameraInfo(FACTORY_HANDLE factory, const char* camera_id, int32_t info,
                                      char* buffer, uint32_t* size) {
    SIM_ENTER("J_Factory_GetCameraInfo");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (!camera_id) return J_ST_INVALID_PARAMETER;
    for (const auto& c : factory->cameras) {
        if (c.id == camera_id) {
            if (info == CAM_INFO_MODELNAME) return put_text(c.model, buffer, size);
            if (info == CAM_INFO_IP) return put_text(c.ip, buffer, size);
            return J_ST_INVALID_PARAMETER;
        }
    }
    return J_ST_INVALID_ID;
}

J_STATUS_TYPE J_Camera_Open(FACTORY_HANDLE factory, const char* camera_id, CAM_HANDLE* camera,
                            int32_t) {
    SIM_ENTER("J_Camera_Open");
    if (!g_factories.count(factory)) return J_ST_INVALID_HANDLE;
    if (!camera_id || !camera) return J_ST_INVALID_PARAMETER;
    for (const auto& c : factory->cameras) {
        if (c.id == camera_id) {
            for (auto* open : g_open_cameras) {
                if (open->config.id == c.id) return J_ST_ACCESS_DENIED;  // one controller only
            }
            auto* cam = new j_camera;
            cam->config = c;
            g_open_cameras.insert(cam);
            *camera = cam;
            return J_ST_SUCCESS;
        }
    }
    return J_ST_INVALID_ID;
}

J_STATUS_TYPE J_Camera_Close(CAM_HANDLE camera) {
    SIM_ENTER("J_Camera_Close");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (j_stream* s = camera->stream) {
        // A stream left open must not outlive its camera's producer.
        stop_producer(lock, s);
        s->camera = nullptr;
    }
    g_open_cameras.erase(camera);
    delete camera;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_GetValueInt64(CAM_HANDLE camera, const char* name, int64_t* value) {
    SIM_ENTER("J_Camera_GetValueInt64");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!name || !value) return J_ST_INVALID_PARAMETER;
    const std::string n = name;
    if (n == "Width") {
        *value = camera->config.width;
    } else if (n == "Height") {
        *value = camera->config.height;
    } else if (n == "PixelFormat") {
        *value = camera->config.pixel_format;
    } else {
        return J_ST_INVALID_PARAMETER;
    }
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_SetValueString(CAM_HANDLE camera, const char* name, const char* value) {
    SIM_ENTER("J_Camera_SetValueString");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!name || !value || std::strcmp(name, "ExposureMode") != 0) return J_ST_INVALID_PARAMETER;
    for (const char* mode : kExposureModes) {
        if (std::strcmp(mode, value) == 0) {
            camera->exposure_mode = value;
            return J_ST_SUCCESS;
        }
    }
    return J_ST_INVALID_PARAMETER;
}

J_STATUS_TYPE J_Camera_ExecuteCommand(CAM_HANDLE camera, const char* name) {
    SIM_ENTER("J_Camera_ExecuteCommand");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!name) return J_ST_INVALID_PARAMETER;
    if (std::strcmp(name, "AcquisitionStart") == 0) {
        camera->acquiring = true;
    } else if (std::strcmp(name, "AcquisitionStop") == 0) {
        camera->acquiring = false;
    } else {
        return J_ST_INVALID_PARAMETER;
    }
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_GetNumOfDataStreams(CAM_HANDLE camera, uint32_t* count) {
    SIM_ENTER("J_Camera_GetNumOfDataStreams");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (!count) return J_ST_INVALID_PARAMETER;
    *count = 1;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Camera_CreateDataStream(CAM_HANDLE camera, uint32_t index, STREAM_HANDLE* stream) {
    SIM_ENTER("J_Camera_CreateDataStream");
    if (!g_open_cameras.count(camera)) return J_ST_INVALID_HANDLE;
    if (index != 0 || !stream) return J_ST_INVALID_PARAMETER;
    if (camera->stream) return J_ST_ACCESS_DENIED;
    auto* s = new j_stream;
    s->camera = camera;
    camera->stream = s;
    g_streams.insert(s);
    *stream = s;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_SetParam(STREAM_HANDLE stream, int32_t, const void* value,
                                    uint32_t size) {
    SIM_ENTER("J_DataStream_SetParam");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (!value || size != 8) return J_ST_INVALID_BUFFER_SIZE;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_AnnounceBuffer(STREAM_HANDLE stream, void* memory, uint32_t size,
                                          void* private_data, BUF_HANDLE* buffer) {
    SIM_ENTER("J_DataStream_AnnounceBuffer");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (!memory || !buffer || size == 0) return J_ST_INVALID_PARAMETER;
    auto* b = new j_buffer;
    b->memory = static_cast<uint8_t*>(memory);
    b->size = size;
    b->private_data = private_data;
    stream->buffers.insert(b);
    *buffer = b;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_QueueBuffer(STREAM_HANDLE stream, BUF_HANDLE buffer) {
    SIM_ENTER("J_DataStream_QueueBuffer");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (!stream->buffers.count(buffer)) return J_ST_INVALID_HANDLE;
    if (buffer->state == j_buffer::queued || buffer->state == j_buffer::filling ||
        buffer->state == j_buffer::filled) {
        return J_ST_ACCESS_DENIED;
    }
    buffer->state = j_buffer::queued;
    stream->input.push_back(buffer);
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_RegisterEvent(STREAM_HANDLE stream, int32_t event_type,
                                         J_COND_HANDLE condition, EVT_HANDLE* event) {
    SIM_ENTER("J_DataStream_RegisterEvent");
    if (!g_streams.count(stream) || !g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    if (event_type != EVENT_NEW_BUFFER || !event) return J_ST_INVALID_PARAMETER;
    if (stream->event) return J_ST_ACCESS_DENIED;
    auto* e = new j_event;
    e->stream = stream;
    e->condition = condition;
    condition->events.insert(e);
    stream->event = e;
    g_events.insert(e);
    *event = e;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_UnRegisterEvent(STREAM_HANDLE stream, int32_t event_type) {
    SIM_ENTER("J_DataStream_UnRegisterEvent");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (event_type != EVENT_NEW_BUFFER || !stream->event) return J_ST_INVALID_PARAMETER;
    if (stream->event->condition) stream->event->condition->events.erase(stream->event);
    stream->event->condition = nullptr;
    stream->event->stream = nullptr;
    stream->event = nullptr;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_StartAcquisition(STREAM_HANDLE stream, int32_t, uint64_t) {
    SIM_ENTER("J_DataStream_StartAcquisition");
    if (!g_streams.count(stream) || !stream->camera) return J_ST_INVALID_HANDLE;
    if (stream->running) return J_ST_ACCESS_DENIED;
    stream->running = true;
    stream->stop = false;
    stream->started = std::chrono::steady_clock::now();
    stream->producer = std::thread(produce, stream);
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_StopAcquisition(STREAM_HANDLE stream, int32_t) {
    SIM_ENTER("J_DataStream_StopAcquisition");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    stop_producer(lock, stream);
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_FlushQueue(STREAM_HANDLE stream, int32_t queue) {
    SIM_ENTER("J_DataStream_FlushQueue");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    if (queue == ACQ_QUEUE_INPUT_TO_OUTPUT) {
        for (auto* b : stream->input) {
            b->state = j_buffer::filled;
            stream->output.push_back(b);
        }
        stream->input.clear();
    } else if (queue == ACQ_QUEUE_OUTPUT_DISCARD) {
        for (auto* b : stream->output)
            b->state = j_buffer::idle;
        stream->output.clear();
    } else {
        return J_ST_INVALID_PARAMETER;
    }
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_RevokeBuffer(STREAM_HANDLE stream, BUF_HANDLE buffer, void** memory,
                                        void** private_data) {
    SIM_ENTER("J_DataStream_RevokeBuffer");
    if (!g_streams.count(stream) || !stream->buffers.count(buffer)) return J_ST_INVALID_HANDLE;
    if (buffer->state == j_buffer::filling) return J_ST_ACCESS_DENIED;
    std::erase(stream->input, buffer);
    std::erase(stream->output, buffer);
    if (memory) *memory = buffer->memory;
    if (private_data) *private_data = buffer->private_data;
    stream->buffers.erase(buffer);
    delete buffer;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_DataStream_GetBufferInfo(STREAM_HANDLE stream, BUF_HANDLE buffer, int32_t info,
                                         void* value, uint32_t* size) {
    SIM_ENTER("J_DataStream_GetBufferInfo");
    if (!g_streams.count(stream) || !stream->buffers.count(buffer)) return J_ST_INVALID_HANDLE;
    switch (info) {
        case BUFFER_INFO_BASE:
            return put_value<uint64_t>(uint64_t(reinterpret_cast<uintptr_t>(buffer->memory)), value,
                                       size);
        case BUFFER_INFO_SIZE:
            return put_value<uint64_t>(buffer->image_size, value, size);
        case BUFFER_INFO_TIMESTAMP:
            return put_value<uint64_t>(buffer->timestamp, value, size);
        case BUFFER_INFO_NUM_QUEUED:
            return put_value<uint64_t>(stream->input.size(), value, size);
        case BUFFER_INFO_WIDTH:
            return put_value<uint32_t>(buffer->width, value, size);
        case BUFFER_INFO_HEIGHT:
            return put_value<uint32_t>(buffer->height, value, size);
        case BUFFER_INFO_XOFFSET:
        case BUFFER_INFO_YOFFSET:
        case BUFFER_INFO_XPADDING:
        case BUFFER_INFO_MISSING_PACKETS:
            return put_value<uint32_t>(0, value, size);
        case BUFFER_INFO_FRAME_ID:
            return put_value<uint64_t>(buffer->frame_id, value, size);
        case BUFFER_INFO_PIXELTYPE:
            return put_value<uint64_t>(buffer->pixel_type, value, size);
        default:
            return J_ST_INVALID_PARAMETER;
    }
}

J_STATUS_TYPE J_DataStream_GetStreamInfo(STREAM_HANDLE stream, int32_t info, void* value,
                                         uint32_t* size) {
    SIM_ENTER("J_DataStream_GetStreamInfo");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    switch (info) {
        case STREAM_INFO_NUM_DELIVERED:
            return put_value<uint64_t>(stream->delivered, value, size);
        case STREAM_INFO_NUM_UNDERRUN:
            return put_value<uint64_t>(stream->lost, value, size);
        case STREAM_INFO_NUM_AWAIT_DELIVERY:
            return put_value<uint64_t>(stream->output.size(), value, size);
        case STREAM_INFO_NUM_CORRUPT:
            return put_value<uint64_t>(stream->corrupt, value, size);
        default:
            return J_ST_INVALID_PARAMETER;
    }
}

J_STATUS_TYPE J_DataStream_Close(STREAM_HANDLE stream) {
    SIM_ENTER("J_DataStream_Close");
    if (!g_streams.count(stream)) return J_ST_INVALID_HANDLE;
    stop_producer(lock, stream);
    if (stream->event) {
        if (stream->event->condition) stream->event->condition->events.erase(stream->event);
        stream->event->condition = nullptr;
        stream->event->stream = nullptr;
    }
    for (auto* b : stream->buffers)
        delete b;
    if (stream->camera) stream->camera->stream = nullptr;
    g_streams.erase(stream);
    delete stream;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_CreateCondition(J_COND_HANDLE* condition) {
    SIM_ENTER("J_Event_CreateCondition");
    if (!condition) return J_ST_INVALID_PARAMETER;
    auto* c = new j_condition;
    g_conditions.insert(c);
    *condition = c;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_WaitForCondition(J_COND_HANDLE condition, uint32_t timeout_ms,
                                       int32_t* result) {
    SIM_ENTER("J_Event_WaitForCondition");
    if (!g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    if (!result) return J_ST_INVALID_PARAMETER;
    if (g_forced_wait_times > 0) {
        --g_forced_wait_times;
        *result = g_forced_wait_result;
        return J_ST_SUCCESS;
    }
    auto ready = [&] {
        if (condition->exit_pending) return true;
        for (auto* e : condition->events) {
            if (e->stream && !e->stream->output.empty()) return true;
        }
        return false;
    };
    condition->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), ready);
    if (condition->exit_pending) {
        condition->exit_pending = false;
        *result = J_COND_WAIT_EXIT;
    } else {
        *result = ready() ? J_COND_WAIT_SIGNAL : J_COND_WAIT_TIMEOUT;
    }
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_ExitCondition(J_COND_HANDLE condition) {
    SIM_ENTER("J_Event_ExitCondition");
    if (!g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    condition->exit_pending = true;
    condition->cv.notify_all();
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_CloseCondition(J_COND_HANDLE condition) {
    SIM_ENTER("J_Event_CloseCondition");
    if (!g_conditions.count(condition)) return J_ST_INVALID_HANDLE;
    for (auto* e : condition->events)
        e->condition = nullptr;
    g_conditions.erase(condition);
    delete condition;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_GetData(EVT_HANDLE event, void* data, uint32_t* size) {
    SIM_ENTER("J_Event_GetData");
    if (!g_events.count(event) || !event->stream) return J_ST_INVALID_HANDLE;
    if (!data || !size || *size < sizeof(J_EVENT_DATA_NEW_BUFFER)) return J_ST_INVALID_BUFFER_SIZE;
    j_stream* s = event->stream;
    if (s->output.empty()) return J_ST_NO_DATA;
    J_EVENT_DATA_NEW_BUFFER out{s->output.front(), s->output.front()->frame_id};
    s->output.front()->state = j_buffer::delivered;
    s->output.pop_front();
    std::memcpy(data, &out, sizeof(out));
    *size = sizeof(out);
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Event_Close(EVT_HANDLE event) {
    SIM_ENTER("J_Event_Close");
    if (!g_events.count(event)) return J_ST_INVALID_HANDLE;
    if (event->condition) event->condition->events.erase(event);
    if (event->stream) event->stream->event = nullptr;
    g_events.erase(event);
    delete event;
    return J_ST_SUCCESS;
}

J_STATUS_TYPE J_Image_Rotate(J_tIMAGE_INFO* image, int32_t rotation) {
    SIM_ENTER("J_Image_Rotate");
    if (!image || !image->pImageBuffer) return J_ST_INVALID_PARAMETER;
    if (rotation != J_ROTATE_180) return J_ST_NOT_IMPLEMENTED;
    const size_t step = (bits_per_pixel(image->iPixelType) + 7) / 8;
    const size_t pixels = size_t(image->iSizeX) * image->iSizeY;
    if (pixels * step > image->iImageSize) return J_ST_INVALID_BUFFER_SIZE;
    uint8_t* p = image->pImageBuffer;
    if (step == 1) {
        std::reverse(p, p + pixels);
    } else {
        for (size_t i = 0, j = pixels - 1; i < j; ++i, --j) {
            std::swap_ranges(p + i * step, p + (i + 1) * step, p + j * step);
        }
    }
    return J_ST_SUCCESS;
}

}  // extern "C"
