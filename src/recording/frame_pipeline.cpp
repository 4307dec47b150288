#include "recording/frame_pipeline.h"

#include "database/ldb_writer.h"
#include "runtime/thread_priority.h"
#include "runtime/thread_name.h"

#include <boost/asio/post.hpp>

namespace {
// Frames queued for an encoder or being encoded, over every pipeline of the
// process.
std::atomic<size_t> g_frames_unencoded{0};
}  // namespace

bool frame_pipeline::encoders_idle() {
    return g_frames_unencoded.load(std::memory_order_relaxed) == 0;
}

frame_pipeline::frame_pipeline(boost::asio::io_context& io, size_t workers, size_t capacity,
                               writer write, std::function<void()> on_space)
    : io_(io),
      capacity_(std::max<size_t>(1, capacity)),
      write_(std::move(write)),
      on_space_(std::move(on_space)) {
    for (size_t i = 0; i < workers; ++i)
        workers_.emplace_back([this] { work(); });
}

frame_pipeline::~frame_pipeline() {
    {
        std::lock_guard<std::mutex> lock(guard_);
        stopping_ = true;
    }
    work_cv_.notify_all();
    for (auto& w : workers_)
        w.join();
    // The shared frames go back to spare_images_ while it is there.
    in_flight_.clear();
    held_.reset();
}

void frame_pipeline::submit_frame(uint32_t value, odometer_format format, frame_buffer& frame,
                                  bool late, frame_buffer::clock::duration max_age) {
    auto s = std::make_unique<slot>();
    entry& e = s->data;
    e.value = value;
    e.format = format;
    e.late = late;
    {
        std::lock_guard<std::mutex> lock(guard_);
        if (!spare_jpegs_.empty()) {
            e.jpeg = std::move(spare_jpegs_.back());
            spare_jpegs_.pop_back();
        }
    }
    e.jpeg.clear();
    const auto now = frame_buffer::clock::now();
    frame_identity newest;
    e.state = frame_state(frame, now, max_age, &newest);
    if (e.state == frame_freshness::fresh) e.image = take(frame, e.state, now, max_age, newest);
    queue(std::move(s));
}

std::shared_ptr<const cv::Mat> frame_pipeline::take(frame_buffer& frame, frame_freshness& state,
                                                    frame_buffer::clock::time_point now,
                                                    frame_buffer::clock::duration max_age,
                                                    const frame_identity& newest) {
    if (held_ && held_id_ == newest) return held_;
    cv::Mat copy;
    {
        std::lock_guard<std::mutex> lock(guard_);
        if (!spare_images_.empty()) {
            copy = std::move(spare_images_.back());
            spare_images_.pop_back();
        }
    }
    held_.reset();
    state = copy_fresh_gray8(frame, copy, now, max_age, &held_id_);
    if (state != frame_freshness::fresh || copy.empty()) {
        if (!copy.empty()) {
            std::lock_guard<std::mutex> lock(guard_);
            spare_images_.push_back(std::move(copy));
        }
        return nullptr;
    }
    // The last entry to let go gives the buffer back for a later copy.
    held_.reset(new cv::Mat(std::move(copy)), [this](const cv::Mat* image) {
        std::unique_ptr<const cv::Mat> owned(image);
        std::lock_guard<std::mutex> lock(guard_);
        spare_images_.push_back(*owned);
    });
    return held_;
}

void frame_pipeline::submit_change(std::function<void()> change) {
    auto s = std::make_unique<slot>();
    s->data.change = std::move(change);
    queue(std::move(s));
}

void frame_pipeline::queue(std::unique_ptr<slot> s) {
    slot& added = *s;
    in_flight_.push_back(std::move(s));
    const bool needs_encoding =
        !added.data.change && added.data.state == frame_freshness::fresh && added.data.image;
    if (!needs_encoding) {
        added.done = true;
    } else if (workers_.empty()) {
        encode(added);
        added.done = true;
    } else {
        {
            std::lock_guard<std::mutex> lock(guard_);
            to_encode_.push_back(&added);
            ++g_frames_unencoded;
        }
        work_cv_.notify_one();
        return;
    }
    drain();
}

void frame_pipeline::encode(slot& s) {
    try {
        ldb_writer::encode_frame(*s.data.image, s.data.jpeg);
    } catch (const std::exception&) {
        s.data.jpeg.clear();  // written as a frame that could not be stored
    }
}

void frame_pipeline::work() {
    name_this_thread("encoder");
    run_as_recording_worker();
    while (true) {
        slot* s = nullptr;
        {
            std::unique_lock<std::mutex> lock(guard_);
            work_cv_.wait(lock, [this] { return stopping_ || !to_encode_.empty(); });
            if (to_encode_.empty()) return;
            s = to_encode_.front();
            to_encode_.pop_front();
        }
        encode(*s);
        --g_frames_unencoded;
        s->data.image.reset();  // the last entry sharing it frees the buffer for a later copy
        s->done = true;
        boost::asio::post(io_, [this] { drain(); });
    }
}

void frame_pipeline::drain() {
    const bool was_full = full();
    while (!in_flight_.empty() && in_flight_.front()->done) {
        std::unique_ptr<slot> s = std::move(in_flight_.front());
        in_flight_.pop_front();
        write_(s->data);
        s->data.image.reset();
        std::lock_guard<std::mutex> lock(guard_);
        spare_jpegs_.push_back(std::move(s->data.jpeg));
    }
    if (was_full && !full() && on_space_) on_space_();
}
