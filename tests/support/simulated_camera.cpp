#include "support/simulated_camera.h"

jai_sim::camera_config simulated_camera_config(int64_t width, int64_t height, double fps) {
    jai_sim::camera_config c = jai_sim::default_cameras()[0];
    c.width = width;
    c.height = height;
    c.fps = fps;
    return c;
}

CAM_HANDLE open_simulated_camera(FACTORY_HANDLE factory, const jai_sim::camera_config& config) {
    jai_sim::set_cameras({config});
    bool8_t changed = 0;
    if (J_Factory_UpdateCameraList(factory, &changed) != J_ST_SUCCESS) return nullptr;
    CAM_HANDLE camera = nullptr;
    if (J_Camera_Open(factory, config.id.c_str(), &camera, 0) != J_ST_SUCCESS) return nullptr;
    return camera;
}

simulated_camera::simulated_camera(const jai_sim::camera_config& config) {
    if (J_Factory_Open("", &factory) != J_ST_SUCCESS) {
        factory = nullptr;
        return;
    }
    camera = open_simulated_camera(factory, config);
}

simulated_camera::~simulated_camera() {
    if (camera) J_Camera_Close(camera);
    if (factory) J_Factory_Close(factory);
}
