// Capture and recording: the capture thread fills the frame_buffer and a
// write thread records it at every odometer value. Dropping the mode stops
// the write thread first (it closes and reports its session), then the
// capture thread, then frees the frame_buffer. User-interface thread.
#pragma once

#include "camera/capture_thread.h"
#include "acquisition/frame_source.h"
#include "camera/JAI_Camera.h"

#include <memory>

class write_thread;

class continuous_grab_write : public frame_source {
  public:
    continuous_grab_write(const app_link_ptr& link, const camera_ptr& camera,
                          const std::string& session_code);
    ~continuous_grab_write();

    frame_buffer& get_frame_buffer() override { return *frame_; }
    std::string get_label() override { return {}; }
    std::string get_session_code() override;
    void set_session_code(const std::string& code) override;
    // Replaces the write thread by one recording under `code`; the old one
    // closes and reports its session first. The capture thread goes on.
    void restart_recording(const app_link_ptr& link, const std::string& code) override;
    bool is_recording() override { return true; }

  private:
    void start_writer(const app_link_ptr& link, const std::string& code);
    void stop_writer();

    camera_ptr camera_;
    std::unique_ptr<frame_buffer> frame_;
    capture_thread* capture_ = nullptr;
    write_thread* writer_ = nullptr;
};
