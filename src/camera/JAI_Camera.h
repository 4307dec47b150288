// An open camera. Held by shared pointer; the last release closes the camera.
// Used on the user-interface thread; the capture thread uses the handle while
// an acquisition mode, which keeps the camera open, is running.
#pragma once

#include "camera/sdk/Jai_Factory.h"

#include <memory>
#include <string>

class JAI_Camera {
  public:
    // Opens the camera with the given ID; throws "Error opening camera.".
    static std::shared_ptr<JAI_Camera> open(FACTORY_HANDLE factory, const std::string& id);
    ~JAI_Camera();
    JAI_Camera(const JAI_Camera&) = delete;
    JAI_Camera& operator=(const JAI_Camera&) = delete;

    CAM_HANDLE handle() const { return handle_; }
    const std::string& id() const { return id_; }

    // Sets the camera's "ExposureMode"; throws "Error setting exposure mode.".
    void set_exposure_mode(const std::string& mode);

  private:
    JAI_Camera(CAM_HANDLE handle, std::string id) : handle_(handle), id_(std::move(id)) {}
    CAM_HANDLE handle_;
    std::string id_;
};

using camera_ptr = std::shared_ptr<JAI_Camera>;
