#include "camera/camera_discovery.h"

#include <stdexcept>

namespace {

constexpr uint32_t kTextSize = 512;

std::string camera_id(FACTORY_HANDLE factory, uint32_t index) {
    char text[kTextSize] = {};
    uint32_t size = kTextSize;
    if (J_Factory_GetCameraIDByIndex(factory, static_cast<int32_t>(index), text, &size) !=
        J_ST_SUCCESS) {
        throw std::runtime_error("Error getting camera ID.");
    }
    text[kTextSize - 1] = '\0';
    return text;
}

std::string camera_info(FACTORY_HANDLE factory, const std::string& id, int32_t code,
                        const char* error) {
    char text[kTextSize] = {};
    uint32_t size = kTextSize;
    if (J_Factory_GetCameraInfo(factory, id.c_str(), code, text, &size) != J_ST_SUCCESS) {
        throw std::runtime_error(error);
    }
    text[kTextSize - 1] = '\0';
    return text;
}

}  // namespace

camera_map enumerate_cameras(FACTORY_HANDLE& factory) {
    camera_map cameras;
    if (factory) J_Factory_Close(factory);
    factory = nullptr;
    for (uint32_t i = 0;; ++i) {
        if (J_Factory_Open("", &factory) != J_ST_SUCCESS) {
            factory = nullptr;
            throw std::runtime_error("Error opening JAI factory.");
        }
        bool8_t changed = 0;
        if (J_Factory_UpdateCameraList(factory, &changed) != J_ST_SUCCESS) {
            throw std::runtime_error("Error updating camera list.");
        }
        uint32_t count = 0;
        if (J_Factory_GetNumOfCameras(factory, &count) != J_ST_SUCCESS) {
            throw std::runtime_error("Error getting number of cameras.");
        }
        if (i >= count) return cameras;
        const std::string id = camera_id(factory, i);
        cameras.emplace(describe_camera(factory, i), id);
        J_Factory_Close(factory);
        factory = nullptr;
    }
}

std::string describe_camera(FACTORY_HANDLE factory, uint32_t index) {
    const std::string id = camera_id(factory, index);
    std::string text =
        camera_info(factory, id, CAM_INFO_MODELNAME, "Error getting camera model info.");
    text += ' ';
    text += camera_info(factory, id, CAM_INFO_IP, "Error getting camera IP info.");
    text += ' ';
    if (id.find("INT=>FD") != std::string::npos) {
        text += "[FilterDriver]";
    } else if (id.find("INT=>SD") != std::string::npos) {
        text += "[SocketDriver]";
    } else {
        text += "[UnknownDriver]";
    }
    return text;
}

std::string choose_camera(const camera_map& cameras, const std::string& driver) {
    for (const auto& [description, id] : cameras) {
        if (description.find(driver) != std::string::npos) return description;
    }
    return cameras.empty() ? std::string() : cameras.begin()->first;
}

const std::vector<std::string>& exposure_modes() {
    static const std::vector<std::string> modes = {
        "Off",
        "ContinuousPreset1",
        "ContinuousPreset2",
        "ContinuousPreset3",
        "ContinuousPreset4",
        "ContinuousPreset5",
        "ContinuousPreset6",
        "ContinuousPreset7",
        "ContinuousPreset8",
        "ContinuousPreset9",
    };
    return modes;
}
