// The camera layer's settings file for tests. A process that starts without
// one looks for real cameras and sends discovery broadcasts on every network
// interface; tests write simulated cameras instead, or run in a network
// namespace of their own.
#pragma once

#include "camera/sdk/jai_sim.h"

#include <string>
#include <vector>

// Settings text with one [camera] section per simulated camera.
std::string simulated_cameras_text(const std::vector<jai_sim::camera_config>& cameras);

// Writes <home>/.jai_sim.conf with the given cameras (the two default ones
// when none are given).
void write_simulated_cameras(
    const std::string& home,
    const std::vector<jai_sim::camera_config>& cameras = jai_sim::default_cameras());
