#include "support/fake_capture.h"

#include <mutex>

fake_capture::fake_capture(frame_buffer& frame, std::chrono::milliseconds period) : frame_(frame) {
    mark_capture_began(frame_);
    auto deliver = [this] {
        std::unique_lock lock(frame_.lock);
        ++frame_.delivered;
        frame_.delivered_at = frame_buffer::clock::now();
    };
    deliver();
    thread_ = std::thread([this, period, deliver] {
        while (!stop_) {
            std::this_thread::sleep_for(period);
            if (!silent_) deliver();
        }
    });
}

fake_capture::~fake_capture() {
    stop_ = true;
    thread_.join();
    mark_capture_ended(frame_);
}
