#include "camera/frame_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

std::unique_ptr<frame_buffer> read_frame_geometry(CAM_HANDLE camera) {
    auto buffer = std::make_unique<frame_buffer>();
    if (J_Camera_GetValueInt64(camera, "Width", &buffer->width) != J_ST_SUCCESS) {
        throw std::runtime_error("Error getting frame width.");
    }
    if (J_Camera_GetValueInt64(camera, "Height", &buffer->height) != J_ST_SUCCESS) {
        throw std::runtime_error("Error getting frame height.");
    }
    if (J_Camera_GetValueInt64(camera, "PixelFormat", &buffer->pixel_format) != J_ST_SUCCESS) {
        throw std::runtime_error("Error getting pixel format.");
    }
    if (pixel_depth(uint64_t(buffer->pixel_format)) == 0) {
        char text[160];
        std::snprintf(text, sizeof(text),
                      "Unsupported pixel format 0x%08llX: the station records Mono8, Mono10, "
                      "Mono12 and Mono16 only.",
                      static_cast<unsigned long long>(buffer->pixel_format));
        throw std::runtime_error(text);
    }
    buffer->bits_per_pixel = pixel_format_bits(uint64_t(buffer->pixel_format));
    // A camera that reports a negative extent yields an empty frame, never a huge one.
    const uint64_t w = static_cast<uint64_t>(std::max<int64_t>(0, buffer->width));
    const uint64_t h = static_cast<uint64_t>(std::max<int64_t>(0, buffer->height));
    buffer->pixels.assign(buffer->bits_per_pixel * w * h / 8, 0);
    return buffer;
}

namespace {

// Sizes `image` for the frame (outside any lock); false for an empty geometry.
bool prepare_gray8(const frame_buffer& frame, cv::Mat& image) {
    const int rows = static_cast<int>(std::max<int64_t>(0, frame.height));
    const int cols = static_cast<int>(std::max<int64_t>(0, frame.width));
    if (rows == 0 || cols == 0) {
        image.release();
        return false;
    }
    image.create(rows, cols, CV_8UC1);
    return true;
}

// The caller holds frame.lock (either side) and has prepared `image`.
void copy_gray8_locked(const frame_buffer& frame, cv::Mat& image) {
    const size_t step = (frame.bits_per_pixel + 7) / 8;
    const size_t count = std::min(image.total(), frame.pixels.size() / step);
    const uint8_t* in = frame.pixels.data();
    uint8_t* out = image.data;
    if (step == 1) {
        std::memcpy(out, in, count);
    } else {
        const uint32_t shift = pixel_shift_to_8(uint64_t(frame.pixel_format));
        for (size_t i = 0; i < count; ++i) {
            const unsigned v = in[i * step] | unsigned(in[i * step + 1]) << 8;
            out[i] = static_cast<uint8_t>(std::min(255u, v >> shift));
        }
    }
    std::memset(out + count, 0, image.total() - count);
}

// The caller holds frame.lock (either side).
frame_freshness state_locked(const frame_buffer& frame, frame_buffer::clock::time_point now,
                             frame_buffer::clock::duration max_age) {
    if (!frame.capture_running) return frame_freshness::capture_stopped;
    if (frame.delivered == 0) {
        return now - frame.capture_began > max_age ? frame_freshness::stale
                                                   : frame_freshness::none_yet;
    }
    return now - frame.delivered_at > max_age ? frame_freshness::stale : frame_freshness::fresh;
}

// The caller holds frame.lock (either side).
frame_identity identity_locked(const frame_buffer& frame) {
    return {frame.capture_began, frame.delivered};
}

}  // namespace

void mark_capture_began(frame_buffer& frame) {
    std::unique_lock lock(frame.lock);
    frame.capture_running = true;
    frame.capture_began = frame_buffer::clock::now();
    frame.delivered = 0;
}

void mark_capture_ended(frame_buffer& frame) {
    std::unique_lock lock(frame.lock);
    frame.capture_running = false;
}

frame_freshness frame_state(frame_buffer& frame, frame_buffer::clock::time_point now,
                            frame_buffer::clock::duration max_age, frame_identity* newest) {
    std::shared_lock lock(frame.lock);
    const frame_freshness state = state_locked(frame, now, max_age);
    if (newest && state == frame_freshness::fresh) *newest = identity_locked(frame);
    return state;
}

frame_freshness copy_fresh_gray8(frame_buffer& frame, cv::Mat& image,
                                 frame_buffer::clock::time_point now,
                                 frame_buffer::clock::duration max_age, frame_identity* copied) {
    cv::Mat copy = image;  // reuses the storage when the size fits
    const bool has_pixels = prepare_gray8(frame, copy);
    std::shared_lock lock(frame.lock);
    const frame_freshness state = state_locked(frame, now, max_age);
    if (state != frame_freshness::fresh) return state;
    if (has_pixels) copy_gray8_locked(frame, copy);
    if (copied) *copied = identity_locked(frame);
    image = copy;
    return state;
}

void copy_gray8(frame_buffer& frame, cv::Mat& image) {
    if (!prepare_gray8(frame, image)) return;
    std::shared_lock lock(frame.lock);
    copy_gray8_locked(frame, image);
}
