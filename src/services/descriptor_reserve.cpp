#include "services/descriptor_reserve.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>

namespace {
constexpr size_t kMinimumReserve = 64;
constexpr size_t kReserveShare = 8;  // an eighth of the limit
constexpr size_t kUnlimited = 1 << 20;
}  // namespace

size_t descriptor_reserve::limit() {
    rlimit l{};
    if (getrlimit(RLIMIT_NOFILE, &l) != 0 || l.rlim_cur == RLIM_INFINITY) return kUnlimited;
    return static_cast<size_t>(l.rlim_cur);
}

size_t descriptor_reserve::open() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return limit();
    size_t count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count > 0 ? count - 1 : 0;  // the directory's own descriptor
}

size_t descriptor_reserve::reserve() {
    return std::max(kMinimumReserve, limit() / kReserveShare);
}

bool descriptor_reserve::allows(size_t wanted) {
    const size_t total = limit();
    const size_t in_use = open();
    return in_use + wanted + reserve() <= total;
}
