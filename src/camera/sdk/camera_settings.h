// The camera layer's own settings file: which cameras the SDK offers.
//
// The file is named by the environment variable JAI_SIM_CONFIG, or else is
// ~/.jai_sim.conf. Each [camera] section describes one simulated camera;
// keys left out keep the values of jai_sim::camera_config. Without the file
// the simulator offers its two default cameras. Plain functions, any thread.
#pragma once

#include "camera/sdk/jai_sim.h"

#include <istream>
#include <string>
#include <vector>

struct camera_settings {
    std::vector<jai_sim::camera_config> simulated;
};

// Parses settings text; on failure returns false and names the line at fault.
bool parse_camera_settings(std::istream& in, camera_settings& settings, std::string& error);

// Path of the settings file; empty when neither the variable nor HOME is set.
std::string camera_settings_path();

// The settings file's cameras, or the defaults when there is no file. A file
// that cannot be parsed is reported on stderr and the defaults are used.
camera_settings load_camera_settings();
