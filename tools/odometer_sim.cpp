// Odometer simulator: sends odometer messages over a pseudo-terminal (whose
// path it prints) or a given serial device, at a chosen rate.
//
//   odometer_sim [--format 4|7] [--rate N] [--start V] [--step S] [--count N]
//                [--values a,b,c] [--reset-every N] [--stray-every N]
//                [--corrupt-every N] [--skip-every N] [--skip K]
//                [--device PATH] [--link PATH]
//
// --format      message format: 7 (new, default) or 4 (old, 24-bit values)
// --rate        messages per second (default 10)
// --start/step  first value and increment (default 0 and 5)
// --values      send exactly these values instead, then stop
// --count       stop after N messages (default: run until interrupted)
// --reset-every jump back to the start value every N messages
// --stray-every put one stray byte before every N-th message
// --corrupt-every spoil every N-th message (checksum or position bits)
// --skip-every  after every N-th message, K values are never sent (--skip,
//               default 3): gaps in the recorded track, as when messages are
//               lost on the line
// --device      write to this device instead of a new pseudo-terminal
// --link        make a symbolic link with this name to the pseudo-terminal
#include "recording/odometer_protocol.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t g_stop = 0;

[[noreturn]] void usage(const char* why) {
    std::fprintf(stderr, "odometer_sim: %s\nsee the comment at the top of tools/odometer_sim.cpp\n",
                 why);
    std::exit(2);
}

long number(const char* text) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 0);
    if (!text[0] || *end) usage("bad number");
    return v;
}

}  // namespace

int main(int argc, char** argv) {
    int format = 7;
    double rate = 10;
    long start = 0, step = 5, count = -1, reset_every = 0, stray_every = 0, corrupt_every = 0;
    long skip_every = 0, skip = 3;
    std::vector<uint32_t> values;
    std::string device, link;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) usage(("missing value for " + a).c_str());
            return argv[++i];
        };
        if (a == "--format")
            format = int(number(next()));
        else if (a == "--rate")
            rate = std::atof(next());
        else if (a == "--start")
            start = number(next());
        else if (a == "--step")
            step = number(next());
        else if (a == "--count")
            count = number(next());
        else if (a == "--reset-every")
            reset_every = number(next());
        else if (a == "--stray-every")
            stray_every = number(next());
        else if (a == "--corrupt-every")
            corrupt_every = number(next());
        else if (a == "--skip-every")
            skip_every = number(next());
        else if (a == "--skip")
            skip = number(next());
        else if (a == "--device")
            device = next();
        else if (a == "--link")
            link = next();
        else if (a == "--values") {
            std::stringstream list(next());
            for (std::string v; std::getline(list, v, ',');)
                values.push_back(uint32_t(number(v.c_str())));
        } else
            usage(("unknown option " + a).c_str());
    }
    if (format != 4 && format != 7) usage("format must be 4 or 7");
    if (rate <= 0) usage("rate must be positive");

    int fd = -1;
    int keep_open = -1;  // the pseudo-terminal's other end, so it stays usable
    if (device.empty()) {
        char name[256];
        if (openpty(&fd, &keep_open, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            return 1;
        }
        termios raw{};
        tcgetattr(keep_open, &raw);
        cfmakeraw(&raw);
        tcsetattr(keep_open, TCSANOW, &raw);
        device = name;
        if (!link.empty()) {
            unlink(link.c_str());
            if (symlink(name, link.c_str()) != 0) std::perror("symlink");
        }
    } else {
        fd = open(device.c_str(), O_WRONLY | O_NOCTTY);
        if (fd < 0) {
            std::perror(device.c_str());
            return 1;
        }
    }
    std::printf("%s\n", device.c_str());
    std::fflush(stdout);
    std::signal(SIGINT, [](int) { g_stop = 1; });
    std::signal(SIGTERM, [](int) { g_stop = 1; });

    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / rate));
    auto next_time = std::chrono::steady_clock::now();
    uint32_t value = uint32_t(start);
    for (long n = 0; !g_stop; ++n) {
        if (!values.empty()) {
            if (size_t(n) >= values.size()) break;
            value = values[n];
        } else if (count >= 0 && n >= count) {
            break;
        }
        std::vector<uint8_t> bytes;
        if (stray_every && n % stray_every == stray_every - 1) bytes.push_back(0x5A);
        uint8_t message[7];
        if (format == 7) {
            encode_odometer_new(value, message);
            if (corrupt_every && n % corrupt_every == corrupt_every - 1) message[6] ^= 0x01;
            bytes.insert(bytes.end(), message, message + 7);
        } else {
            encode_odometer_old(value, message);
            if (corrupt_every && n % corrupt_every == corrupt_every - 1) message[2] ^= 0xC0;
            bytes.insert(bytes.end(), message, message + 4);
        }
        if (write(fd, bytes.data(), bytes.size()) < 0) {
            std::perror("write");
            return 1;
        }
        if (values.empty()) {
            value += uint32_t(step);
            if (skip_every && (n + 1) % skip_every == 0) value += uint32_t(step * skip);
            if (reset_every && (n + 1) % reset_every == 0) value = uint32_t(start);
        }
        next_time += period;
        std::this_thread::sleep_until(next_time);
    }
    // Give the reader time to take the last bytes before the terminal goes.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (!link.empty()) unlink(link.c_str());
    close(fd);
    if (keep_open >= 0) close(keep_open);
    return 0;
}
