#include "camera/sdk/camera_settings.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

std::string trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    const auto e = s.find_last_not_of(" \t\r");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// One key of a [camera] section; false with `error` set when the value is bad.
bool set_camera_key(jai_sim::camera_config& c, const std::string& key, const std::string& value,
                    std::string& error) {
    try {
        size_t used = 0;
        if (key == "id") {
            c.id = value;
        } else if (key == "model") {
            c.model = value;
        } else if (key == "ip") {
            c.ip = value;
        } else if (key == "width" || key == "height" || key == "pixel_format") {
            const int64_t v = std::stoll(value, &used, 0);
            (key == "width" ? c.width : key == "height" ? c.height : c.pixel_format) = v;
        } else if (key == "fps") {
            c.fps = std::stod(value, &used);
        } else if (key == "corrupt_every") {
            c.corrupt_every = uint32_t(std::stoul(value, &used));
        } else {
            error = "unknown key " + key;
            return false;
        }
        if (used != 0 && used != value.size()) {
            error = "bad number for " + key;
            return false;
        }
    } catch (const std::exception&) {
        error = "bad number for " + key;
        return false;
    }
    return true;
}

}  // namespace

bool parse_camera_settings(std::istream& in, camera_settings& settings, std::string& error) {
    settings = camera_settings{};
    auto& cameras = settings.simulated;
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(number) + ": " + what;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        if (line == "[camera]") {
            cameras.emplace_back();
            cameras.back().id = "TL=>GevTL , INT=>SD , DEV=>SIM-" + std::to_string(cameras.size());
            cameras.back().model = "SIM-LS2048";
            cameras.back().ip = "192.168.10." + std::to_string(10 + cameras.size());
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) return fail("expected key = value or [camera]");
        if (cameras.empty()) return fail("key outside a [camera] section");
        std::string what;
        if (!set_camera_key(cameras.back(), trim(line.substr(0, eq)), trim(line.substr(eq + 1)),
                            what)) {
            return fail(what);
        }
    }
    return true;
}

std::string camera_settings_path() {
    if (const char* env = std::getenv("JAI_SIM_CONFIG"); env && *env) return env;
    if (const char* home = std::getenv("HOME"); home && *home) {
        return std::string(home) + "/.jai_sim.conf";
    }
    return std::string();
}

camera_settings load_camera_settings() {
    const std::string path = camera_settings_path();
    std::ifstream in(path);
    camera_settings settings;
    if (path.empty() || !in) {
        settings.simulated = jai_sim::default_cameras();
        return settings;
    }
    std::string error;
    if (!parse_camera_settings(in, settings, error)) {
        std::fprintf(stderr, "camera simulator: %s: %s; using the default cameras\n", path.c_str(),
                     error.c_str());
        settings = camera_settings{};
        settings.simulated = jai_sim::default_cameras();
    }
    return settings;
}

namespace jai_sim {

std::vector<camera_config> default_cameras() {
    camera_config fd;
    fd.id = "TL=>GevTL , INT=>FD , MAC=>00-0C-DF-0A-00-01 , DEV=>SIM-LS2048-0001";
    fd.model = "SIM-LS2048";
    fd.ip = "192.168.10.11";
    camera_config sd = fd;
    sd.id = "TL=>GevTL , INT=>SD , MAC=>00-0C-DF-0A-00-02 , DEV=>SIM-LS2048-0002";
    sd.ip = "192.168.10.12";
    return {fd, sd};
}

bool parse_settings(std::istream& in, std::vector<camera_config>& cameras, std::string& error) {
    camera_settings settings;
    const bool ok = parse_camera_settings(in, settings, error);
    cameras = std::move(settings.simulated);
    return ok;
}

}  // namespace jai_sim
