// Whether an open camera still answers, and the streams to fail when it stops.
// Shared by a backend's device, its streams, and whatever notices the loss
// (Aravis's heartbeat, the simulator's unplugging). Any thread; its lock is
// never held while calling a sink or a camera.
#pragma once

#include "camera/sdk/camera_backend.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class camera_link {
  public:
    bool lost() const { return lost_; }

    void add(const std::shared_ptr<frame_sink>& sink) {
        std::lock_guard<std::mutex> lock(mutex_);
        sinks_.push_back(sink);
    }

    // The camera is gone: every sink still alive fails.
    void fail() {
        lost_ = true;
        std::vector<std::shared_ptr<frame_sink>> live;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto& weak : sinks_) {
                if (auto sink = weak.lock()) live.push_back(std::move(sink));
            }
        }
        for (auto& sink : live)
            sink->fail();
    }

  private:
    std::atomic<bool> lost_{false};
    std::mutex mutex_;
    std::vector<std::weak_ptr<frame_sink>> sinks_;  // guarded by mutex_
};
