#include "support/pty_pair.h"

#include "recording/odometer_protocol.h"

#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

pty_pair::pty_pair() {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    path_ = name;
}

pty_pair::~pty_pair() {
    close(master_);
    close(slave_);
}

void pty_pair::send(const std::vector<uint8_t>& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
        throw std::runtime_error("pty write failed");
    }
}

size_t pty_pair::unread() const {
    int bytes = 0;
    return ioctl(slave_, FIONREAD, &bytes) == 0 ? size_t(bytes) : 0;
}

void pty_pair::send_new(uint32_t value) {
    uint8_t m[7];
    encode_odometer_new(value, m);
    send({m, m + 7});
}

void pty_pair::send_old(uint32_t value) {
    uint8_t m[4];
    encode_odometer_old(value, m);
    send({m, m + 4});
}
