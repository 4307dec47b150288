#include "database/session_folder.h"

#include <filesystem>

namespace {
constexpr const char* kFormat = "%Y.%m.%d %H.%M.%S";
}  // namespace

std::string session_folder_name(std::time_t opened) {
    std::tm local{};
    localtime_r(&opened, &local);
    char text[32];
    std::strftime(text, sizeof(text), kFormat, &local);
    return text;
}

std::optional<std::time_t> session_folder_time(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    std::tm local{};
    local.tm_isdst = -1;
    const char* end = strptime(name.c_str(), kFormat, &local);
    if (!end || *end) return std::nullopt;
    const std::time_t t = std::mktime(&local);
    if (t == -1) return std::nullopt;
    return t;
}
