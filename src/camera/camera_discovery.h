// Listing and describing the cameras the SDK sees. User-interface thread.
#pragma once

#include "camera/sdk/Jai_Factory.h"

#include <map>
#include <string>
#include <vector>

// Description -> camera ID, in byte-wise order of the descriptions.
using camera_map = std::map<std::string, std::string>;

// Closes and reopens the factory for every index, updating the SDK's camera
// list each time; the factory is left open. An equal description already
// present keeps its first ID. Throws "Error opening JAI factory.", "Error
// updating camera list.", "Error getting number of cameras.", "Error getting
// camera ID." and the texts of describe_camera.
camera_map enumerate_cameras(FACTORY_HANDLE& factory);

// "<model> <ip> [FilterDriver|SocketDriver|UnknownDriver]". Throws "Error
// getting camera ID.", "Error getting camera model info.", "Error getting
// camera IP info.".
std::string describe_camera(FACTORY_HANDLE factory, uint32_t index);

// The first description that contains `driver`, else the first; empty map: "".
std::string choose_camera(const camera_map& cameras, const std::string& driver);

// The ten "ExposureMode" values, "Off" first.
const std::vector<std::string>& exposure_modes();
