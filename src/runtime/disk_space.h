// The room on the file system that holds a folder, as the operating system
// reports it to an unprivileged user. The one place the station asks.
// Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct disk_space {
    uint64_t total = 0;  // bytes of the whole file system
    uint64_t free = 0;   // bytes an unprivileged user may still write
};

// Nothing when the system cannot tell (the folder is missing, for example).
std::optional<disk_space> disk_space_of(const std::string& folder);
