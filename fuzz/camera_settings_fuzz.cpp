// The camera layer's settings file from any text: parsed, or refused with a
// description of the fault; a refusal always says why, and a file that
// parses has one simulated camera per "[camera]" line and one address per
// "[gige]" line, whatever came before.
#include "camera/sdk/camera_settings.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    camera_settings settings;
    std::string error;
    const bool parsed = parse_camera_settings(in, settings, error);
    FUZZ_CHECK(parsed || !error.empty());
    FUZZ_CHECK(!parsed || error.empty());
    if (!parsed) return 0;
    size_t cameras = 0, addresses = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        line = line.substr(0, line.find('#'));
        const auto b = line.find_first_not_of(" \t\r");
        const auto e = line.find_last_not_of(" \t\r");
        if (b == std::string::npos) continue;
        const std::string header = line.substr(b, e - b + 1);
        cameras += header == "[camera]";
        addresses += header == "[gige]";
    }
    FUZZ_CHECK(settings.simulated.size() == cameras);
    FUZZ_CHECK(settings.gige_addresses.size() == addresses);
    return 0;
}
