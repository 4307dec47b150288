#include "camera/sdk/gvcp_discovery.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kKey = 0x42;
constexpr uint8_t kAckRequired = 0x01;
constexpr uint16_t kDiscoveryCmd = 0x0002;
constexpr uint16_t kDiscoveryAck = 0x0003;
constexpr size_t kHeader = 8;

// Offsets in the bootstrap registers the answer carries.
constexpr size_t kMacHigh = 0x08;  // two bytes, after two reserved ones
constexpr size_t kMacLow = 0x0C;
constexpr size_t kCurrentIp = 0x24;
constexpr size_t kManufacturer = 0x48;  // 32 bytes
constexpr size_t kModel = 0x68;         // 32 bytes
constexpr size_t kSerial = 0xD8;        // 16 bytes
constexpr size_t kUserName = 0xE8;      // 16 bytes
constexpr size_t kBootstrapSize = 0xF8;

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// A NUL-padded text field, at most `size` bytes.
std::string field(const uint8_t* p, size_t size) {
    size_t n = 0;
    while (n < size && p[n])
        ++n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// RAII for the probe's socket.
struct udp_socket {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ~udp_socket() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

std::vector<uint8_t> gvcp_discovery_request(uint16_t request_id) {
    return {kKey,
            kAckRequired,
            uint8_t(kDiscoveryCmd >> 8),
            uint8_t(kDiscoveryCmd & 0xFF),
            0,
            0,
            uint8_t(request_id >> 8),
            uint8_t(request_id & 0xFF)};
}

std::optional<gvcp_device> parse_gvcp_discovery_ack(const std::vector<uint8_t>& bytes,
                                                    uint16_t request_id) {
    if (bytes.size() < kHeader + kBootstrapSize) return std::nullopt;
    const uint8_t* h = bytes.data();
    if (be16(h) != 0 || be16(h + 2) != kDiscoveryAck || be16(h + 6) != request_id) {
        return std::nullopt;
    }
    if (be16(h + 4) < kBootstrapSize) return std::nullopt;
    const uint8_t* r = h + kHeader;
    gvcp_device device;
    char text[32];
    std::snprintf(text, sizeof(text), "%02x-%02x-%02x-%02x-%02x-%02x", r[kMacHigh + 2],
                  r[kMacHigh + 3], r[kMacLow], r[kMacLow + 1], r[kMacLow + 2], r[kMacLow + 3]);
    device.mac = text;
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", r[kCurrentIp], r[kCurrentIp + 1],
                  r[kCurrentIp + 2], r[kCurrentIp + 3]);
    device.ip = text;
    device.manufacturer = field(r + kManufacturer, 32);
    device.model = field(r + kModel, 32);
    device.serial = field(r + kSerial, 16);
    device.user_name = field(r + kUserName, 16);
    return device;
}

std::optional<gvcp_device> gvcp_discover(const std::string& address,
                                         std::chrono::milliseconds wait) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kGvcpPort);
    if (inet_pton(AF_INET, address.c_str(), &to.sin_addr) != 1) return std::nullopt;
    udp_socket s;
    if (s.fd < 0) return std::nullopt;
    for (uint16_t request_id : {uint16_t(0x5a01), uint16_t(0x5a02)}) {
        const auto request = gvcp_discovery_request(request_id);
        if (sendto(s.fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
                   sizeof(to)) < 0) {
            return std::nullopt;
        }
        const auto end = std::chrono::steady_clock::now() + wait;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{s.fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) break;
            std::vector<uint8_t> answer(1024);
            const ssize_t n = recv(s.fd, answer.data(), answer.size(), 0);
            if (n <= 0) continue;
            answer.resize(size_t(n));
            if (auto device = parse_gvcp_discovery_ack(answer, request_id)) return device;
        }
    }
    return std::nullopt;
}
