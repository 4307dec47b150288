#include "camera/sdk/camera_settings.h"

#include <arpa/inet.h>

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
        } else if (key == "scene") {
            if (value == "track") {
                c.scene = jai_sim::scene_kind::track;
            } else if (value == "noise") {
                c.scene = jai_sim::scene_kind::noise;
            } else {
                error = "scene takes track or noise";
                return false;
            }
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

bool is_ipv4(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

}  // namespace

bool parse_camera_settings(std::istream& in, camera_settings& settings, std::string& error) {
    settings = camera_settings{};
    auto& cameras = settings.simulated;
    enum { none, camera, discovery, gige } section = none;
    std::string line;
    int number = 0;
    int gige_line = 0;  // where the [gige] section being read began
    auto fail = [&](int at, const std::string& what) {
        error = "line " + std::to_string(at) + ": " + what;
        return false;
    };
    size_t gige_sections = 0;
    // A [gige] section is complete once it has its address.
    auto gige_complete = [&] {
        return section != gige || settings.gige_addresses.size() == gige_sections;
    };
    while (std::getline(in, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (!gige_complete()) return fail(gige_line, "[gige] without an address");
            if (line == "[camera]") {
                section = camera;
                cameras.emplace_back();
                cameras.back().id =
                    "TL=>GevTL , INT=>SD , DEV=>SIM-" + std::to_string(cameras.size());
                cameras.back().model = "SIM-LS2048";
                cameras.back().ip = "192.168.10." + std::to_string(10 + cameras.size());
            } else if (line == "[discovery]") {
                section = discovery;
                settings.discover_gige = settings.discover_usb3 = true;
            } else if (line == "[gige]") {
                section = gige;
                gige_line = number;
                ++gige_sections;
            } else {
                return fail(number, "unknown section " + line);
            }
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) return fail(number, "expected key = value or a section");
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        std::string what;
        switch (section) {
            case none:
                return fail(number, "key outside a section");
            case camera:
                if (!set_camera_key(cameras.back(), key, value, what)) return fail(number, what);
                break;
            case discovery:
                if (key != "gige" && key != "usb3") return fail(number, "unknown key " + key);
                if (value != "yes" && value != "no") return fail(number, key + " takes yes or no");
                (key == "gige" ? settings.discover_gige : settings.discover_usb3) = value == "yes";
                break;
            case gige:
                if (key != "address") return fail(number, "unknown key " + key);
                if (!is_ipv4(value)) return fail(number, "bad address " + value);
                if (settings.gige_addresses.size() == gige_sections) {
                    return fail(number, "[gige] with a second address");
                }
                settings.gige_addresses.push_back(value);
                break;
        }
    }
    if (!gige_complete()) return fail(gige_line, "[gige] without an address");
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
    if (!path.empty() && in) {
        std::string error;
        if (parse_camera_settings(in, settings, error)) return settings;
        std::fprintf(stderr, "camera settings: %s: %s; looking for real cameras only\n",
                     path.c_str(), error.c_str());
        settings = camera_settings{};
    }
    settings.discover_gige = settings.discover_usb3 = true;
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
