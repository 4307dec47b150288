// Stands in for a running capture thread in tests that fill a frame_buffer
// by hand: marks the buffer as filled by a capture that delivers a frame
// every period (the pixels stay as the test put them), so the recorder takes
// its frames as freshly delivered.
#pragma once

#include "camera/frame_buffer.h"

#include <atomic>
#include <chrono>
#include <thread>

class fake_capture {
  public:
    explicit fake_capture(frame_buffer& frame,
                          std::chrono::milliseconds period = std::chrono::milliseconds(20));
    ~fake_capture();  // the capture ends
    fake_capture(const fake_capture&) = delete;
    fake_capture& operator=(const fake_capture&) = delete;

    // The camera goes silent (no more frames) or delivers again.
    void pause(bool silent) { silent_ = silent; }

  private:
    frame_buffer& frame_;
    std::atomic<bool> silent_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};
