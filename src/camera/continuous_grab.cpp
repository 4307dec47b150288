#include "continuous_grab.h"

#include "configuration.h"
#include "text_encoding.h"

#include <stdexcept>

capture_thread* start_capture_thread(const app_link_ptr& link, CAM_HANDLE camera,
                                     frame_buffer& frame) {
    auto* thread = new capture_thread(link, camera, frame);
    if (thread->Create() != wxTHREAD_NO_ERROR) {
        delete thread;
        throw std::runtime_error("Error creating capture thread");
    }
    thread->SetPriority(wxPRIORITY_MAX);
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        delete thread;
        throw std::runtime_error("Error starting capture thread");
    }
    return thread;
}

void stop_capture_thread(capture_thread*& thread) {
    if (!thread) return;
    thread->request_stop();
    thread->Wait();
    delete thread;
    thread = nullptr;
}

continuous_grab::continuous_grab(const app_link_ptr& link, const camera_ptr& camera)
    : camera_(camera), label_(to_narrow(link->read_text(cfg::side, cfg::side_default))) {
    frame_ = read_frame_geometry(camera_->handle());
    capture_ = start_capture_thread(link, camera_->handle(), *frame_);
}

continuous_grab::~continuous_grab() {
    stop_capture_thread(capture_);
    frame_.reset();
}
