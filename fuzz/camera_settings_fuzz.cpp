// The camera simulator's settings file from any text: parsed, or refused
// with a description of the fault; a refusal always says why, and a file
// that parses has one camera per "[camera]" line, whatever came before.
#include "camera/sdk/jai_sim.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<jai_sim::camera_config> cameras{jai_sim::camera_config{}};
    std::string error;
    const bool parsed = jai_sim::parse_settings(in, cameras, error);
    FUZZ_CHECK(parsed || !error.empty());
    FUZZ_CHECK(!parsed || error.empty());
    if (!parsed) return 0;
    size_t sections = 0;
    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(lines, line);) {
        line = line.substr(0, line.find('#'));
        const auto b = line.find_first_not_of(" \t\r");
        const auto e = line.find_last_not_of(" \t\r");
        if (b != std::string::npos && line.substr(b, e - b + 1) == "[camera]") ++sections;
    }
    FUZZ_CHECK(cameras.size() == sections);
    return 0;
}
