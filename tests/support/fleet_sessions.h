// Sessions and settings for tests against the fleet store's engine.
#pragma once

#include "fleet/s3_client.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class fleet_engine;

// Frame keys 100, 105, ... with a gap after the tenth.
std::vector<uint32_t> session_keys(size_t n);

// A closed session of `frames` frames of `size` bytes each, the bytes random:
// as large as a real session's, without the time to encode it.
void make_large_session(const std::string& path, size_t frames, size_t size);

// Every entry's key with the SHA-256 of its value.
std::map<std::string, std::string> database_digest(const std::string& path);

// The engine's endpoint, bucket and keys, with short timeouts.
s3_settings engine_settings(const fleet_engine& engine);
