// Capture without recording: the camera streams into the mode's frame_buffer
// for the preview. Created and dropped on the user-interface thread; dropping
// it stops the capture thread and waits for it.
#pragma once

#include "camera/capture_thread.h"
#include "acquisition/frame_source.h"
#include "camera/JAI_Camera.h"

#include <memory>

class continuous_grab : public frame_source {
  public:
    // Throws the SDK's text when the camera's geometry cannot be read; then
    // no thread has been started.
    continuous_grab(const app_link_ptr& link, const camera_ptr& camera);
    ~continuous_grab();

    frame_buffer& get_frame_buffer() override { return *frame_; }
    std::string get_label() override { return label_; }
    std::string get_session_code() override { return {}; }
    void set_session_code(const std::string&) override {}
    void restart_recording(const app_link_ptr&, const std::string&) override {}
    bool is_recording() override { return false; }

  private:
    camera_ptr camera_;  // kept open while the thread uses its handle
    std::unique_ptr<frame_buffer> frame_;
    capture_thread* capture_ = nullptr;
    std::string label_;
};
