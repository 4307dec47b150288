// The newest camera frame, shared by the capture thread (the only writer,
// under the exclusive side of `lock`) and its readers, the write thread and
// the preview (under the shared side). There is no queue: a slow reader
// misses frames and never holds the camera back.
//
// A frame is worth recording only if the capture that fills the buffer is
// running and delivered it lately: before the first frame the pixels are
// zeros, and once the capture has ended they are an old picture.
//
// The acquisition mode that creates a frame_buffer owns it; the threads hold
// plain references that never outlive it.
#pragma once

#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/pixel_format.h"

#include <opencv2/core.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <vector>

struct frame_buffer {
    using clock = std::chrono::steady_clock;

    std::shared_mutex lock;
    // Fields below are protected by lock; the geometry is fixed at creation.
    std::vector<uint8_t> pixels;  // bits_per_pixel * width * height / 8 bytes
    uint64_t timestamp = 0;
    // The capture filling the buffer: whether it runs, when it began, how many
    // frames it delivered since and when the newest came.
    bool capture_running = false;
    clock::time_point capture_began{};
    uint64_t delivered = 0;
    clock::time_point delivered_at{};
    int64_t width = 640;
    int64_t height = 480;
    int64_t pixel_format = 0;
    uint32_t bits_per_pixel = 8;  // pixel_format_bits of the pixel format
};

// A zero-filled frame_buffer of the camera's "Width", "Height" and
// "PixelFormat". Throws "Error getting frame width.", "Error getting frame
// height." or "Error getting pixel format.", and for a format the station
// does not record (anything but Mono8, Mono10, Mono12, Mono16) a text that
// names its code: "Unsupported pixel format 0x0210001F: ...".
std::unique_ptr<frame_buffer> read_frame_geometry(CAM_HANDLE camera);

// What a frame taken now would be.
enum class frame_freshness {
    fresh,            // delivered by the running capture within the allowed age
    none_yet,         // the capture runs but has delivered nothing yet
    stale,            // the newest frame is older than the allowed age
    capture_stopped,  // no capture runs
};

// Called by the capture thread (any lock not held): a capture begins on the
// buffer, delivers a frame (with the pixels already copied), or ends.
void mark_capture_began(frame_buffer& frame);
void mark_capture_ended(frame_buffer& frame);

// Which delivered frame the buffer holds: two takes with equal identities
// got the same pixels.
struct frame_identity {
    frame_buffer::clock::time_point capture_began{};
    uint64_t delivered = 0;
    bool operator==(const frame_identity&) const = default;
};

// The freshness of the newest frame at `now`: a frame older than `max_age`,
// or none within `max_age` of the capture's start, is stale. When fresh,
// `newest` (if given) is set to that frame's identity.
frame_freshness frame_state(frame_buffer& frame, frame_buffer::clock::time_point now,
                            frame_buffer::clock::duration max_age,
                            frame_identity* newest = nullptr);

// Copies the frame into `image` as copy_gray8 does, under the same shared
// lock as the freshness test, only when the frame is fresh; otherwise
// `image` and `copied` are left as they were. Returns the freshness.
frame_freshness copy_fresh_gray8(frame_buffer& frame, cv::Mat& image,
                                 frame_buffer::clock::time_point now,
                                 frame_buffer::clock::duration max_age,
                                 frame_identity* copied = nullptr);

// The frame as an 8-bit grey image of height x width, copied under the shared
// lock into `image` (reallocated only when its size differs). Mono10, Mono12
// and Mono16 pixels (little-endian 16-bit words) are scaled to 8 bits by
// their own depth, so their whole range maps onto 0 to 255; never more is
// read than the frame holds. Empty when width or height is 0.
void copy_gray8(frame_buffer& frame, cv::Mat& image);
