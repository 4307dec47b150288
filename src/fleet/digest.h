// Digests and text forms the fleet store speaks: SHA-256 (chunk records and
// the signed payload hash), MD5 (Content-MD5 and the store's ETag), hex and
// base64. Plain functions over bytes, safe from any thread.
#pragma once

#include <string>
#include <string_view>

// Lower-case hex of the digest of `bytes`.
std::string sha256_hex(std::string_view bytes);
std::string md5_hex(std::string_view bytes);

// What a PUT sends about its body, computed in one place so that a caller
// that needs the digests itself computes them once.
struct payload_digests {
    std::string sha256_hex;
    std::string md5_hex;
    std::string md5_base64;  // of the raw digest, as Content-MD5 carries it
};
payload_digests digests_of(std::string_view bytes);

// True for exactly `digits` lower-case hex digits.
bool is_lower_hex(std::string_view text, size_t digits);
