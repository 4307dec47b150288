// One simulated camera opened for a benchmark, closed with it.
#pragma once

#include "camera/sdk/Jai_Factory.h"
#include "camera/sdk/jai_sim.h"

#include <cstdint>

struct simulated_camera {
    FACTORY_HANDLE factory = nullptr;
    CAM_HANDLE camera = nullptr;

    simulated_camera(int64_t width, int64_t height, double fps) {
        jai_sim::camera_config c = jai_sim::default_cameras()[0];
        c.width = width;
        c.height = height;
        c.fps = fps;
        jai_sim::set_cameras({c});
        J_Factory_Open("", &factory);
        bool8_t changed = 0;
        J_Factory_UpdateCameraList(factory, &changed);
        J_Camera_Open(factory, c.id.c_str(), &camera, 0);
    }
    ~simulated_camera() {
        J_Camera_Close(camera);
        J_Factory_Close(factory);
    }
    simulated_camera(const simulated_camera&) = delete;
    simulated_camera& operator=(const simulated_camera&) = delete;
};
