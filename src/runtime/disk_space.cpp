#include "runtime/disk_space.h"

#include <sys/statvfs.h>

std::optional<disk_space> disk_space_of(const std::string& folder) {
    struct statvfs info {};
    if (::statvfs(folder.c_str(), &info) != 0) return std::nullopt;
    return disk_space{uint64_t(info.f_blocks) * info.f_frsize,
                      uint64_t(info.f_bavail) * info.f_frsize};
}
