#include "camera/sdk/sim_backend.h"

#include "camera/sdk/camera_link.h"
#include "camera/sdk/pixel_format.h"
#include "camera/sdk/sim_scene.h"
#include "runtime/thread_name.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <thread>

namespace {

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

// A stream of one simulated camera; its producer thread fills the queued
// buffers. mutex_ guards the buffers and counts; the producer fills a buffer
// and calls the sink with mutex_ released.
class sim_stream final : public camera_stream {
  public:
    sim_stream(const jai_sim::camera_config& config, std::shared_ptr<std::atomic<bool>> acquiring,
               std::shared_ptr<camera_link> link, std::shared_ptr<frame_sink> sink)
        : config_(config),
          acquiring_(std::move(acquiring)),
          link_(std::move(link)),
          sink_(std::move(sink)) {}
    ~sim_stream() override { stop(); }

    J_STATUS_TYPE announce(BUF_HANDLE key, uint8_t* memory, uint32_t size) override {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[key] = slot{memory, size};
        return J_ST_SUCCESS;
    }

    J_STATUS_TYPE revoke(BUF_HANDLE key) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (filling_ == key) return J_ST_ACCESS_DENIED;
        std::erase(input_, key);
        slots_.erase(key);
        return J_ST_SUCCESS;
    }

    J_STATUS_TYPE queue(BUF_HANDLE key) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!slots_.count(key)) return J_ST_INVALID_HANDLE;
        input_.push_back(key);
        return J_ST_SUCCESS;
    }

    counts counters() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return {lost_, corrupt_};
    }

    J_STATUS_TYPE start() override {
        std::lock_guard<std::mutex> control(control_);
        if (link_->lost()) return J_ST_ERROR;
        std::lock_guard<std::mutex> lock(mutex_);
        if (producer_.joinable()) return J_ST_ACCESS_DENIED;
        stop_ = false;
        started_ = std::chrono::steady_clock::now();
        producer_ = std::thread([this] {
            name_this_thread("camera sim");
            produce();
        });
        return J_ST_SUCCESS;
    }

    void stop() override {
        std::lock_guard<std::mutex> control(control_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        if (producer_.joinable()) producer_.join();
    }

    std::vector<BUF_HANDLE> flush() override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<BUF_HANDLE> given_back(input_.begin(), input_.end());
        input_.clear();
        return given_back;
    }

  private:
    struct slot {
        uint8_t* memory = nullptr;
        uint32_t size = 0;
    };

    void produce();

    const jai_sim::camera_config config_;
    const std::shared_ptr<std::atomic<bool>> acquiring_;  // the camera's "AcquisitionStart"
    const std::shared_ptr<camera_link> link_;
    const std::shared_ptr<frame_sink> sink_;

    std::mutex control_;  // serialises start and stop
    std::thread producer_;

    std::mutex mutex_;
    // State below is protected by mutex_.
    std::condition_variable wake_;
    std::map<BUF_HANDLE, slot> slots_;
    std::deque<BUF_HANDLE> input_;  // queued for filling
    BUF_HANDLE filling_ = nullptr;
    bool stop_ = false;
    uint64_t frames_ = 0, filled_ = 0, lost_ = 0, corrupt_ = 0;
    std::chrono::steady_clock::time_point started_;
};

void sim_stream::produce() {
    const uint32_t width = uint32_t(std::max<int64_t>(0, config_.width));
    const uint32_t height = uint32_t(std::max<int64_t>(0, config_.height));
    const uint32_t bpp = pixel_format_bits(uint64_t(config_.pixel_format));
    const size_t image_size = size_t(bpp) * width * height / 8;
    const uint32_t shift = pixel_shift_to_8(uint64_t(config_.pixel_format));
    sim_scene view(width, height, config_.scene);
    std::vector<uint8_t> gray(size_t(width) * height);
    const auto period = config_.fps > 0
                            ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(1.0 / config_.fps))
                            : std::chrono::hours(24);
    auto next = std::chrono::steady_clock::now() + period;

    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        wake_.wait_until(lock, next, [&] { return stop_; });
        if (stop_) return;
        next += period;
        if (!acquiring_->load() || link_->lost()) continue;
        const uint64_t n = frames_++;
        if (input_.empty()) {
            ++lost_;
            continue;
        }
        const BUF_HANDLE key = input_.front();
        input_.pop_front();
        const slot target = slots_[key];
        filling_ = key;
        lock.unlock();

        view.draw(n, gray.data());
        const size_t bytes = std::min<size_t>(target.size, image_size);
        if (bpp == 8) {
            std::memcpy(target.memory, gray.data(), bytes);
        } else {
            // Grey values at the format's own depth, one little-endian word each.
            const size_t step = pixel_format_bytes(uint64_t(config_.pixel_format));
            std::memset(target.memory, 0, bytes);
            for (size_t i = 0; i * step + 1 < bytes && i < gray.size(); ++i) {
                const uint16_t v = uint16_t(gray[i]) << shift;
                std::memcpy(target.memory + i * step, &v, 2);
            }
        }
        frame_info info;
        info.timestamp = uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                                      std::chrono::steady_clock::now() - started_)
                                      .count());
        info.frame_id = n;
        info.width = width;
        info.height = height;
        info.pixel_format = uint64_t(config_.pixel_format);
        info.image_size = uint32_t(bytes);

        lock.lock();
        filling_ = nullptr;
        ++filled_;
        if (config_.corrupt_every && filled_ % config_.corrupt_every == 0) {
            ++corrupt_;
            input_.push_front(key);
            continue;
        }
        lock.unlock();
        sink_->deliver(key, info);
        lock.lock();
    }
}

// One open simulated camera.
class sim_device final : public camera_device {
  public:
    sim_device(const jai_sim::camera_config& config, std::shared_ptr<camera_link> link)
        : config_(config), link_(std::move(link)) {}

    J_STATUS_TYPE get_int64(const char* name, int64_t& value) override {
        if (link_->lost()) return J_ST_ERROR;
        const std::string n = name;
        if (n == "Width") {
            value = config_.width;
        } else if (n == "Height") {
            value = config_.height;
        } else if (n == "PixelFormat") {
            value = config_.pixel_format;
        } else {
            return J_ST_INVALID_PARAMETER;
        }
        return J_ST_SUCCESS;
    }

    J_STATUS_TYPE set_string(const char* name, const char* value) override {
        if (link_->lost()) return J_ST_ERROR;
        if (std::strcmp(name, "ExposureMode") != 0) return J_ST_INVALID_PARAMETER;
        // The simulator has no exposure to change; it takes the ten modes only.
        for (const char* mode : kExposureModes) {
            if (std::strcmp(mode, value) == 0) return J_ST_SUCCESS;
        }
        return J_ST_INVALID_PARAMETER;
    }

    J_STATUS_TYPE execute(const char* name) override {
        if (link_->lost()) return J_ST_ERROR;
        if (std::strcmp(name, "AcquisitionStart") == 0) {
            *acquiring_ = true;
        } else if (std::strcmp(name, "AcquisitionStop") == 0) {
            *acquiring_ = false;
        } else {
            return J_ST_INVALID_PARAMETER;
        }
        return J_ST_SUCCESS;
    }

    uint32_t stream_count() override { return 1; }

    J_STATUS_TYPE create_stream(uint32_t index, std::shared_ptr<frame_sink> sink,
                                std::unique_ptr<camera_stream>& stream) override {
        if (link_->lost()) return J_ST_ERROR;
        if (index != 0) return J_ST_INVALID_PARAMETER;
        link_->add(sink);
        stream = std::make_unique<sim_stream>(config_, acquiring_, link_, std::move(sink));
        return J_ST_SUCCESS;
    }

  private:
    const jai_sim::camera_config config_;
    const std::shared_ptr<camera_link> link_;
    const std::shared_ptr<std::atomic<bool>> acquiring_ = std::make_shared<std::atomic<bool>>();
};

}  // namespace

void sim_backend::set_cameras(std::vector<jai_sim::camera_config> cameras) {
    std::lock_guard<std::mutex> lock(mutex_);
    cameras_ = std::move(cameras);
}

void sim_backend::disconnect(const std::string& id) {
    std::vector<std::shared_ptr<camera_link>> lost;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        unplugged_.insert(id);
        for (auto& [opened_id, weak] : opened_) {
            if (auto link = weak.lock(); link && opened_id == id) lost.push_back(std::move(link));
        }
    }
    for (auto& link : lost)  // sinks are called without our lock
        link->fail();
}

void sim_backend::reconnect(const std::string& id) {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugged_.erase(id);
}

void sim_backend::reconnect_all() {
    std::lock_guard<std::mutex> lock(mutex_);
    unplugged_.clear();
}

std::vector<camera_entry> sim_backend::list() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<camera_entry> entries;
    for (const auto& c : cameras_) {
        if (unplugged_.count(c.id)) continue;
        known_[c.id] = c;
        entries.push_back(camera_entry{c.id, c.model, c.ip});
    }
    return entries;
}

J_STATUS_TYPE sim_backend::open(const std::string& id, std::unique_ptr<camera_device>& device) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (unplugged_.count(id)) return J_ST_ERROR;  // not answering
    auto known = known_.find(id);
    if (known == known_.end()) return J_ST_INVALID_ID;
    std::erase_if(opened_, [](auto& o) { return o.second.expired(); });
    auto link = std::make_shared<camera_link>();
    opened_.emplace_back(id, link);
    device = std::make_unique<sim_device>(known->second, std::move(link));
    return J_ST_SUCCESS;
}
