#include "fleet/upload_queue.h"

#include "fleet/s3_client.h"

#include <algorithm>

bool upload_queue::add(const upload_job& job) {
    {
        std::lock_guard<std::mutex> lock(guard_);
        if (stopping_ || current_ == job ||
            std::find(jobs_.begin(), jobs_.end(), job) != jobs_.end()) {
            return false;
        }
        jobs_.push_back(job);
        woken_ = true;
    }
    changed_.notify_all();
    return true;
}

void upload_queue::put_back(const upload_job& job) {
    std::lock_guard<std::mutex> lock(guard_);
    if (std::find(jobs_.begin(), jobs_.end(), job) == jobs_.end()) jobs_.push_front(job);
}

bool upload_queue::release(const std::string& folder) {
    std::unique_lock<std::mutex> lock(guard_);
    const auto before = jobs_.size();
    jobs_.erase(std::remove_if(jobs_.begin(), jobs_.end(),
                               [&](const upload_job& j) { return j.folder == folder; }),
                jobs_.end());
    bool had = jobs_.size() != before;
    if (current_ && current_->folder == folder) {
        had = true;
        if (client_) client_->abort();
        changed_.wait_for(lock, kReleaseLimit,
                          [&] { return !current_ || current_->folder != folder; });
    }
    return had;
}

bool upload_queue::has_upload(const std::string& folder) const {
    const upload_job job{upload_job::upload, folder};
    std::lock_guard<std::mutex> lock(guard_);
    return current_ == job || std::find(jobs_.begin(), jobs_.end(), job) != jobs_.end();
}

std::vector<std::string> upload_queue::waiting_uploads() const {
    std::vector<std::string> folders;
    std::lock_guard<std::mutex> lock(guard_);
    for (const upload_job& job : jobs_)
        if (job.kind == upload_job::upload) folders.push_back(job.folder);
    return folders;
}

void upload_queue::stop() {
    {
        std::lock_guard<std::mutex> lock(guard_);
        stopping_ = true;
        jobs_.clear();
        if (client_) client_->abort();
    }
    changed_.notify_all();
}

bool upload_queue::stopping() const {
    std::lock_guard<std::mutex> lock(guard_);
    return stopping_;
}

void upload_queue::set_client(s3_client* client) {
    std::lock_guard<std::mutex> lock(guard_);
    client_ = client;
    if (client_ && stopping_) client_->abort();
}

std::optional<upload_job> upload_queue::next() {
    std::unique_lock<std::mutex> lock(guard_);
    changed_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return std::nullopt;
    current_ = jobs_.front();
    jobs_.pop_front();
    woken_ = false;
    // An abort meant for the job before (released as it ended) is not this one's.
    if (client_) client_->clear_abort();
    return current_;
}

void upload_queue::finish() {
    {
        std::lock_guard<std::mutex> lock(guard_);
        current_.reset();
    }
    changed_.notify_all();
}

bool upload_queue::pause(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(guard_);
    woken_ = false;
    changed_.wait_for(lock, pause, [&] { return stopping_ || woken_; });
    return !stopping_;
}
