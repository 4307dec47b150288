#include "acquisition/continuous_grab.h"

#include "runtime/configuration.h"
#include "runtime/text_encoding.h"

#include <stdexcept>

continuous_grab::continuous_grab(const app_link_ptr& link, const camera_ptr& camera)
    : camera_(camera), label_(to_narrow(link->read_text(cfg::side, cfg::side_default))) {
    frame_ = read_frame_geometry(camera_->handle());
    capture_ = start_capture_thread(link, camera_->handle(), *frame_,
                                    [camera = camera_] { return camera->reopen(); });
}

continuous_grab::~continuous_grab() {
    stop_capture_thread(capture_);
    frame_.reset();
}
