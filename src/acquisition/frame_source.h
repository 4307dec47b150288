// The running acquisition mode as the main window and the remote control see
// it. Modes are created and dropped on the user-interface thread; every call
// here is made from it.
#pragma once

#include "runtime/app_link.h"
#include "camera/frame_buffer.h"

#include <string>

class frame_source {
  public:
    virtual frame_buffer& get_frame_buffer() = 0;
    // The side text read at start (capture only), empty while recording.
    virtual std::string get_label() = 0;
    virtual std::string get_session_code() = 0;
    virtual void set_session_code(const std::string& code) = 0;
    // Recording: replaces the write thread by one recording under `code`.
    virtual void restart_recording(const app_link_ptr& link, const std::string& code) = 0;
    virtual bool is_recording() = 0;

  protected:
    // Destroyed through the shared pointer made for the concrete mode.
    ~frame_source() = default;
};
