#include "recording/serial_link.h"

#include <boost/system/system_error.hpp>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <termios.h>

std::string serial_port_path(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
        const std::string digits = name.substr(3);
        bool all_digits = digits.size() <= 4;
        for (char c : digits)
            all_digits = all_digits && std::isdigit(static_cast<unsigned char>(c));
        if (all_digits) {
            const int n = std::stoi(digits);
            if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return "/dev/" + name;
}

void apply_odometer_line_settings(boost::asio::serial_port& port) {
    using sp = boost::asio::serial_port_base;
    port.set_option(sp::baud_rate(115200));
    port.set_option(sp::flow_control(sp::flow_control::none));
    port.set_option(sp::parity(sp::parity::none));
    port.set_option(sp::character_size(8));
    port.set_option(sp::stop_bits(sp::stop_bits::one));
}

namespace {

std::mutex g_claims_guard;
std::map<std::string, int> g_claims;  // guarded by g_claims_guard: canonical path -> holders

std::string canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

}  // namespace

std::string claim_port(const std::string& path) {
    std::string key = canonical(path);
    std::lock_guard<std::mutex> lock(g_claims_guard);
    ++g_claims[key];
    return key;
}

void release_port(const std::string& key) {
    std::lock_guard<std::mutex> lock(g_claims_guard);
    const auto it = g_claims.find(key);
    if (it != g_claims.end() && --it->second <= 0) g_claims.erase(it);
}

bool port_claimed(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_claims_guard);
    return g_claims.count(canonical(path)) != 0;
}

void open_odometer_port(boost::asio::serial_port& port, const std::string& path) {
    port.open(path);
    try {
        const int fd = port.native_handle();
        if (::ioctl(fd, TIOCEXCL) != 0 || ::tcflush(fd, TCIFLUSH) != 0) {
            throw boost::system::system_error(
                boost::system::error_code(errno, boost::system::system_category()), path);
        }
        apply_odometer_line_settings(port);
    } catch (...) {
        boost::system::error_code ignored;
        port.close(ignored);
        throw;
    }
}
