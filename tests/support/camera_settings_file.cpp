#include "support/camera_settings_file.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

std::string simulated_cameras_text(const std::vector<jai_sim::camera_config>& cameras) {
    std::ostringstream text;
    for (const auto& c : cameras) {
        text << "[camera]\nid = " << c.id << "\nmodel = " << c.model << "\nip = " << c.ip
             << "\nwidth = " << c.width << "\nheight = " << c.height << "\npixel_format = 0x"
             << std::hex << c.pixel_format << std::dec << "\nfps = " << c.fps
             << "\ncorrupt_every = " << c.corrupt_every << "\n";
    }
    return text.str();
}

void write_simulated_cameras(const std::string& home,
                             const std::vector<jai_sim::camera_config>& cameras) {
    std::ofstream out(home + "/.jai_sim.conf");
    out << simulated_cameras_text(cameras);
    if (!out) throw std::runtime_error("cannot write the camera settings in " + home);
}
