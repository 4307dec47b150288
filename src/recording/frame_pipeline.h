// The recording's frames on their way to the store: each odometer message's
// frame is taken at once (so it is the frame that was newest when the
// message arrived), JPEG-encoded on a pool of worker threads while the write
// thread goes on reading the line, and handed to the writer in message
// order, together with the session changes queued between the messages.
//
// A frame is copied out of the frame_buffer once: messages that arrive
// before the camera delivers the next share that copy, read-only, until the
// last of them is encoded. The odometer outruns the camera at speed, and the
// copy is the write thread's largest cost per message.
//
// At most `capacity` entries are in flight (taken or encoded, not yet
// written); full() tells the write thread to leave the next messages waiting
// in the line. Frame buffers and JPEG buffers are reused from entry to entry.
// With no workers every frame is encoded at once, on the write thread: the
// same entries, written the same way.
//
// Everything but the encoding runs on the write thread's I/O loop: submit,
// the writer callback, the space callback. Workers post their completions
// to that loop. Destroy the pipeline before its io_context.
#pragma once

#include "camera/frame_buffer.h"
#include "recording/odometer_protocol.h"

#include <boost/asio/io_context.hpp>
#include <opencv2/core.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class frame_pipeline {
  public:
    // One entry: an odometer message with its frame, or a change to run
    // between the messages around it.
    struct entry {
        std::function<void()> change;  // set for a change; then nothing else is
        uint32_t value = 0;
        odometer_format format = odometer_new;
        frame_freshness state = frame_freshness::fresh;
        bool late = false;  // the message had waited in the line
        // The frame taken, until it is encoded; shared by the entries that
        // took the same delivered frame, and never written to while shared.
        std::shared_ptr<const cv::Mat> image;
        std::vector<uint8_t> jpeg;
        bool has_frame() const {
            return !change && state == frame_freshness::fresh && !jpeg.empty();
        }
    };
    using writer = std::function<void(entry&)>;

    frame_pipeline(boost::asio::io_context& io, size_t workers, size_t capacity, writer write,
                   std::function<void()> on_space);
    ~frame_pipeline();
    frame_pipeline(const frame_pipeline&) = delete;
    frame_pipeline& operator=(const frame_pipeline&) = delete;

    // The frame for a message that arrives now.
    void submit_frame(uint32_t value, odometer_format format, frame_buffer& frame, bool late,
                      frame_buffer::clock::duration max_age);
    // A change that must come after every message submitted so far.
    void submit_change(std::function<void()> change);

    // True while no encoder of the process has a frame: the cores are the
    // recording's to spare. Any thread.
    static bool encoders_idle();

    bool full() const { return in_flight_.size() >= capacity_; }
    size_t capacity() const { return capacity_; }
    bool empty() const { return in_flight_.empty(); }
    size_t workers() const { return workers_.size(); }

  private:
    struct slot {
        entry data;
        std::atomic<bool> done{false};
    };

    void queue(std::unique_ptr<slot> s);
    // The frame for a fresh message: the copy held when the camera has
    // delivered nothing since, else a new copy (null for an empty geometry).
    // Sets `state` again when the frame went stale meanwhile.
    std::shared_ptr<const cv::Mat> take(frame_buffer& frame, frame_freshness& state,
                                        frame_buffer::clock::time_point now,
                                        frame_buffer::clock::duration max_age,
                                        const frame_identity& newest);
    void encode(slot& s);
    void work();
    // Writes every entry at the front that is done, in order.
    void drain();

    boost::asio::io_context& io_;
    const size_t capacity_;
    writer write_;
    std::function<void()> on_space_;
    std::deque<std::unique_ptr<slot>> in_flight_;  // loop thread only, in message order
    // The frame copied last and which it is; loop thread only.
    std::shared_ptr<const cv::Mat> held_;
    frame_identity held_id_;

    std::mutex guard_;
    std::condition_variable work_cv_;
    // State below is protected by guard_.
    std::deque<slot*> to_encode_;
    std::vector<cv::Mat> spare_images_;  // returned by the last entry sharing one
    std::vector<std::vector<uint8_t>> spare_jpegs_;
    bool stopping_ = false;

    std::vector<std::thread> workers_;
};
