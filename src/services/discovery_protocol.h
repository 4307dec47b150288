// Datagrams of the discovery protocol, with no socket in them.
//
// Query: a JSON object of at most 128 bytes (UTF-8, no NUL) sent to UDP port
// 12800, with members "type" ("query") and "service" ("any" or a service
// name); further members are allowed. Answer: the query's own tree with
// "type" = "answer" and "service" = the station's name, members in the
// query's order and every value a string, as Boost's indented JSON.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

constexpr size_t kDiscoveryDatagramSize = 128;
constexpr unsigned short kDiscoveryPort = 12800;

// An answer goes out only when it is at most this long and at most this many
// times as long as its query, so that nobody can make the station send much
// more toward a forged sender address than was sent to it. The plain query
// {"type":"query","service":"any"} is answered at 1.8 times its size.
constexpr size_t kMaxAnswerSize = 512;
constexpr size_t kMaxAnswerGrowth = 4;
bool answer_size_allowed(size_t query_size, size_t answer_size);

// "undercam_left" when side is exactly "левый" (UTF-8), else "undercam_right".
std::string discovery_service_name(const std::string& side_utf8);

// The JSON answer to a query, or nothing when the station is not asked.
// Throws the JSON reader's error for text that is not JSON.
std::optional<std::string> discovery_answer(const std::string& query,
                                            const std::string& service_name);

// A query text: {"type": "query", "service": <service>}.
std::string discovery_query(const std::string& service);
