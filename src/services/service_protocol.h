// Bytes of the three service protocols, with no socket in them. Text fields
// end at their NUL or at the end of their field, whichever comes first;
// nothing is read beyond a field or the buffer.
//
// Data request (1024 bytes): first session part at 0 (20 bytes), second at
// 20 (16 bytes), odometer value at 36 (32-bit little-endian); the rest unused.
// Reply: 32-bit little-endian length n, then n bytes of PNG (n = 0: no image).
//
// Remote command (1024 bytes): code at 4 (32-bit little-endian), first
// session part at 8 (20 bytes), second at 28 (to the end). Reply: 1024 zeros.
//
// Discovery: a JSON query of at most 128 bytes to UDP 12800; members "type"
// ("query") and "service" ("any" or a service name); the answer is the
// query's tree with "type" = "answer" and "service" = the station's name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

constexpr size_t kRequestSize = 1024;
constexpr size_t kCommandSize = 1024;
constexpr size_t kDiscoveryDatagramSize = 128;
constexpr unsigned short kDiscoveryPort = 12800;

using request_bytes = std::array<uint8_t, kRequestSize>;
using command_bytes = std::array<uint8_t, kCommandSize>;

struct data_request {
    std::string first;
    std::string second;
    uint32_t value = 0;
    // "%1% : %2%", empty when either part is empty.
    std::string session_code() const;
};

data_request parse_data_request(const request_bytes& bytes);
request_bytes encode_data_request(const std::string& first, const std::string& second,
                                  uint32_t value);

struct rc_command {
    int32_t code = 0;
    std::string first;
    std::string second;
    std::string session_code() const;
};

rc_command parse_rc_command(const command_bytes& bytes);
command_bytes encode_rc_command(int32_t code, const std::string& first = {},
                                const std::string& second = {});

// "undercam_left" when side is exactly "левый" (UTF-8), else "undercam_right".
std::string discovery_service_name(const std::string& side_utf8);

// The JSON answer to a query, or nothing when the station is not asked.
// Throws the JSON reader's error for text that is not JSON.
std::optional<std::string> discovery_answer(const std::string& query,
                                            const std::string& service_name);

// A query text: {"type": "query", "service": <service>}.
std::string discovery_query(const std::string& service);

// A port text as the services bind it: an unsigned decimal number's low 16
// bits. Throws for text that is not a decimal number.
unsigned short service_port(const std::string& text);
