#include "acquisition/continuous_grab_write.h"

#include "acquisition/continuous_grab.h"
#include "recording/write_thread.h"

#include <stdexcept>

continuous_grab_write::continuous_grab_write(const app_link_ptr& link, const camera_ptr& camera,
                                             const std::string& session_code)
    : camera_(camera) {
    frame_ = read_frame_geometry(camera_->handle());
    capture_ = start_capture_thread(link, camera_->handle(), *frame_,
                                    [camera = camera_] { return camera->reopen(); });
    try {
        start_writer(link, session_code);
    } catch (...) {
        stop_capture_thread(capture_);
        throw;
    }
}

continuous_grab_write::~continuous_grab_write() {
    stop_writer();
    stop_capture_thread(capture_);
    frame_.reset();
}

void continuous_grab_write::start_writer(const app_link_ptr& link, const std::string& code) {
    auto* thread = new write_thread(link, code, *frame_);
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        delete thread;
        throw std::runtime_error("Error starting write thread");
    }
    writer_ = thread;
}

void continuous_grab_write::stop_writer() {
    if (!writer_) return;
    writer_->stop();
    writer_->Wait();
    delete writer_;
    writer_ = nullptr;
}

std::string continuous_grab_write::get_session_code() {
    return writer_ ? writer_->get_session_code() : std::string();
}

void continuous_grab_write::set_session_code(const std::string& code) {
    if (writer_) writer_->set_session_code(code);
}

void continuous_grab_write::restart_recording(const app_link_ptr& link, const std::string& code) {
    stop_writer();
    start_writer(link, code);
}
