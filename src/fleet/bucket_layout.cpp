#include "fleet/bucket_layout.h"

#include "database/session_folder.h"

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace bucket_layout {

namespace {

bool safe_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

}  // namespace

std::string chunk_name(size_t index) {
    char text[32];
    std::snprintf(text, sizeof text, "chunk-%06zu.bin", index);
    return text;
}

bool is_vehicle_name(std::string_view vehicle) {
    if (vehicle.empty() || vehicle.size() > 64 || vehicle == "." || vehicle == "..") return false;
    for (const char c : vehicle) {
        if (!safe_name_char(c)) return false;
    }
    return true;
}

bool is_side_name(std::string_view side) {
    return side == "left" || side == "right";
}

std::string session_time(std::string_view folder_name) {
    const auto local = parse_session_folder_name(folder_name);
    if (!local) {
        throw std::invalid_argument("the folder name \"" + std::string(folder_name) +
                                    "\" is not a session's time (YYYY.MM.DD HH.MM.SS)");
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &*local);
    return text;
}

bool is_session_time(std::string_view time) {
    if (time.size() != 15 || time[8] != 'T') return false;
    // The folder name of the same time must be a valid one.
    std::string folder = "0000.00.00 00.00.00";
    const size_t from[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14};
    const size_t to[] = {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18};
    for (size_t i = 0; i < 14; ++i) {
        const char c = time[from[i]];
        if (c < '0' || c > '9') return false;
        folder[to[i]] = c;
    }
    return parse_session_folder_name(folder).has_value();
}

std::string session_prefix(std::string_view vehicle, std::string_view side,
                           std::string_view folder_name) {
    if (!is_vehicle_name(vehicle)) {
        throw std::invalid_argument("the vehicle name \"" + std::string(vehicle) +
                                    "\" is not 1 to 64 ASCII letters, digits, '.', '_' or '-'");
    }
    if (!is_side_name(side)) {
        throw std::invalid_argument("the side \"" + std::string(side) +
                                    "\" is neither left nor right");
    }
    return std::string(vehicle) + "/" + std::string(side) + "/" + session_time(folder_name) + "/";
}

void check_object_name(std::string_view name) {
    const auto bad = [&](const char* why) {
        throw std::invalid_argument("the object name \"" + std::string(name) + "\" " + why);
    };
    if (name.empty()) bad("is empty");
    size_t segment = 0;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/') {
            const std::string_view part = name.substr(segment, i - segment);
            if (part.empty()) bad("has an empty segment");
            if (part == "." || part == "..") bad("has a \".\" or \"..\" segment");
            segment = i + 1;
        } else if (!safe_name_char(name[i])) {
            bad("has characters other than ASCII letters, digits and \"._-/\"");
        }
    }
}

}  // namespace bucket_layout
