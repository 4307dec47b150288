// GigE Vision discovery of one camera at a known address, for networks that
// discovery broadcasts do not reach: one DISCOVERY_CMD datagram to the
// camera's control port (UDP 3956), answered by a DISCOVERY_ACK that carries
// the camera's bootstrap registers (MAC, IP, manufacturer, model, serial).
//
// The request and the answer are plain byte formats with no socket in them;
// gvcp_discover() only moves them. Plain functions, any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct gvcp_device {
    std::string mac;  // "00-11-22-33-44-55"
    std::string ip;   // dotted quad of the camera's current address
    std::string manufacturer;
    std::string model;
    std::string serial;
    std::string user_name;
};

constexpr uint16_t kGvcpPort = 3956;

// The 8-byte DISCOVERY_CMD with the given request id.
std::vector<uint8_t> gvcp_discovery_request(uint16_t request_id);

// The camera in a DISCOVERY_ACK; nothing when the bytes are not a successful
// answer to the request id.
std::optional<gvcp_device> parse_gvcp_discovery_ack(const std::vector<uint8_t>& bytes,
                                                    uint16_t request_id);

// Asks the camera at `address` (dotted quad), twice at most, waiting `wait`
// for each answer; nothing when no camera answers.
std::optional<gvcp_device> gvcp_discover(const std::string& address,
                                         std::chrono::milliseconds wait);
