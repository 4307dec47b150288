#include "support/private_network.h"

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string g_failure = "not attempted";

bool write_file(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    return ok;
}

// Without root: a user namespace of our own, in which we are root, owns the
// network namespace.
bool unshare_as_user() {
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return false;
    return write_file("/proc/self/setgroups", "deny") &&
           write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
           write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

}  // namespace

std::string enter_private_network() {
    if (unshare(CLONE_NEWNET) != 0) {
        const int error = errno;
        if (!unshare_as_user()) {
            g_failure = std::string("cannot make a network namespace: ") + std::strerror(error);
            return g_failure;
        }
    }
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = s >= 0 && ioctl(s, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(s, SIOCSIFFLAGS, &request) == 0);
    const int error = errno;
    if (s >= 0) close(s);
    g_failure = up ? "" : std::string("cannot bring lo up: ") + std::strerror(error);
    return g_failure;
}

const std::string& private_network_failure() {
    return g_failure;
}
