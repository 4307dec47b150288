// One simulated camera, the only one the camera layer sees, opened through
// the camera interface as the station opens a camera: the factory, the
// camera list updated, the camera. Closed with this object.
#pragma once

#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/jai_sim.h"

#include <cstdint>

// The first default camera with this geometry and frame rate.
jai_sim::camera_config simulated_camera_config(int64_t width, int64_t height, double fps);

struct simulated_camera {
    explicit simulated_camera(const jai_sim::camera_config& config);
    simulated_camera(int64_t width, int64_t height, double fps)
        : simulated_camera(simulated_camera_config(width, height, fps)) {}
    ~simulated_camera();
    simulated_camera(const simulated_camera&) = delete;
    simulated_camera& operator=(const simulated_camera&) = delete;

    FACTORY_HANDLE factory = nullptr;
    CAM_HANDLE camera = nullptr;  // null when it did not open
};

// Makes `config` the only camera and opens it through the open `factory`,
// the camera list updated first; null when it does not open. The caller
// closes it.
CAM_HANDLE open_simulated_camera(FACTORY_HANDLE factory, const jai_sim::camera_config& config);
