// An open camera. Held by shared pointer; the last release closes the camera.
//
// Opened and released on the user-interface thread. The capture thread uses
// the handle while an acquisition mode, which keeps the camera, is running,
// and may reopen a camera it lost; the guard keeps that apart from the
// window's calls (the exposure mode).
#pragma once

#include "camera/sdk/Jai_Factory.h"

#include <memory>
#include <mutex>
#include <string>

class JAI_Camera {
  public:
    // Opens the camera with the given ID; throws "Error opening camera.". The
    // factory must stay open while the camera lives.
    static std::shared_ptr<JAI_Camera> open(FACTORY_HANDLE factory, const std::string& id);
    ~JAI_Camera();
    JAI_Camera(const JAI_Camera&) = delete;
    JAI_Camera& operator=(const JAI_Camera&) = delete;

    CAM_HANDLE handle() const;
    const std::string& id() const { return id_; }

    // Sets the camera's "ExposureMode"; throws "Error setting exposure mode.".
    void set_exposure_mode(const std::string& mode);

    // Closes the handle, updates the factory's camera list and opens the same
    // ID again: the new handle, or null (and no handle) when the camera does
    // not answer. Whoever used the old handle has stopped using it.
    CAM_HANDLE reopen();

  private:
    JAI_Camera(FACTORY_HANDLE factory, CAM_HANDLE handle, std::string id)
        : factory_(factory), id_(std::move(id)), handle_(handle) {}
    const FACTORY_HANDLE factory_;
    const std::string id_;
    mutable std::mutex guard_;
    CAM_HANDLE handle_;  // guarded by guard_; null while a reopen found nothing
};

using camera_ptr = std::shared_ptr<JAI_Camera>;
