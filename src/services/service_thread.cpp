#include "service_thread.h"

#include <chrono>

void service_thread::loop_state::stop() {
    io.stop();
    std::unique_lock<std::mutex> lock(guard);
    ended_cv.wait_for(lock, std::chrono::seconds(2), [this] { return ended || !started; });
}

service_thread::service_thread(const app_link_ptr& link)
    : wxThread(wxTHREAD_DETACHED), link_(link), state_(std::make_shared<loop_state>()) {
    link_->stop_at_detach(state_);
}

void service_thread::mark_started() {
    std::lock_guard<std::mutex> lock(state_->guard);
    state_->started = true;
}

void service_thread::mark_ended() {
    std::lock_guard<std::mutex> lock(state_->guard);
    state_->ended = true;
    state_->ended_cv.notify_all();
}
