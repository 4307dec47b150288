#include "camera/JAI_Camera.h"

#include <stdexcept>

std::shared_ptr<JAI_Camera> JAI_Camera::open(FACTORY_HANDLE factory, const std::string& id) {
    CAM_HANDLE handle = nullptr;
    if (J_Camera_Open(factory, id.c_str(), &handle, 0) != J_ST_SUCCESS || !handle) {
        throw std::runtime_error("Error opening camera.");
    }
    return std::shared_ptr<JAI_Camera>(new JAI_Camera(factory, handle, id));
}

JAI_Camera::~JAI_Camera() {
    if (handle_) J_Camera_Close(handle_);
}

CAM_HANDLE JAI_Camera::handle() const {
    std::lock_guard<std::mutex> lock(guard_);
    return handle_;
}

void JAI_Camera::set_exposure_mode(const std::string& mode) {
    std::lock_guard<std::mutex> lock(guard_);
    if (!handle_ ||
        J_Camera_SetValueString(handle_, "ExposureMode", mode.c_str()) != J_ST_SUCCESS) {
        throw std::runtime_error("Error setting exposure mode.");
    }
}

CAM_HANDLE JAI_Camera::reopen() {
    std::lock_guard<std::mutex> lock(guard_);
    if (handle_) J_Camera_Close(handle_);
    handle_ = nullptr;
    bool8_t changed = 0;
    if (J_Factory_UpdateCameraList(factory_, &changed) != J_ST_SUCCESS) return nullptr;
    CAM_HANDLE handle = nullptr;
    if (J_Camera_Open(factory_, id_.c_str(), &handle, 0) != J_ST_SUCCESS) return nullptr;
    handle_ = handle;
    return handle_;
}
