#include "camera/JAI_Camera.h"

#include <stdexcept>

std::shared_ptr<JAI_Camera> JAI_Camera::open(FACTORY_HANDLE factory, const std::string& id) {
    CAM_HANDLE handle = nullptr;
    if (J_Camera_Open(factory, id.c_str(), &handle, 0) != J_ST_SUCCESS || !handle) {
        throw std::runtime_error("Error opening camera.");
    }
    return std::shared_ptr<JAI_Camera>(new JAI_Camera(handle, id));
}

JAI_Camera::~JAI_Camera() {
    J_Camera_Close(handle_);
}

void JAI_Camera::set_exposure_mode(const std::string& mode) {
    if (J_Camera_SetValueString(handle_, "ExposureMode", mode.c_str()) != J_ST_SUCCESS) {
        throw std::runtime_error("Error setting exposure mode.");
    }
}
