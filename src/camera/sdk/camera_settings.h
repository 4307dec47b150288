// The camera layer's own settings file: which cameras the SDK offers.
//
// The file is named by the environment variable JAI_SIM_CONFIG, or else is
// ~/.jai_sim.conf. Its sections, in any number and order:
//   [camera]     one simulated camera; keys left out keep the values of
//                jai_sim::camera_config (id, model, ip, width, height,
//                pixel_format, fps, corrupt_every,
//                scene: track or noise)
//   [discovery]  the real cameras discovery finds; "gige" and "usb3" (yes or
//                no, both yes when left out) choose the transports
//   [gige]       one real GigE Vision camera asked for at "address", for
//                networks that discovery broadcasts do not reach
// A file without sections offers no camera at all. Without the file, the real
// cameras discovery finds and none simulated. Plain functions, any thread.
#pragma once

#include "camera/sdk/jai_sim.h"

#include <istream>
#include <string>
#include <vector>

struct camera_settings {
    std::vector<jai_sim::camera_config> simulated;
    bool discover_gige = false;
    bool discover_usb3 = false;
    std::vector<std::string> gige_addresses;  // dotted quads
};

// Parses settings text; on failure returns false and names the line at fault.
bool parse_camera_settings(std::istream& in, camera_settings& settings, std::string& error);

// Path of the settings file; empty when neither the variable nor HOME is set.
std::string camera_settings_path();

// The settings file's cameras; without the file, discovery of real cameras. A
// file that cannot be parsed is reported on stderr and treated as missing.
camera_settings load_camera_settings();
