#include "support/fleet_sessions.h"

#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "fleet/digest.h"
#include "runtime/text_encoding.h"
#include "support/fleet_engine.h"

#include <cstring>
#include <random>

using namespace std::chrono_literals;

std::vector<uint32_t> session_keys(size_t n) {
    std::vector<uint32_t> k;
    for (size_t i = 0; i < n; ++i)
        k.push_back(100 + 5 * uint32_t(i) + (i >= 10 ? 50 : 0));
    return k;
}

void make_large_session(const std::string& path, size_t frames, size_t size) {
    std::mt19937_64 random(7);
    ldb_writer w;
    w.open(path);
    std::string bytes(size, '\0');
    const std::vector<uint32_t> at = session_keys(frames);
    for (const uint32_t key : at) {
        for (size_t i = 0; i + 8 <= size; i += 8) {
            const uint64_t r = random();
            std::memcpy(&bytes[i], &r, 8);
        }
        if (key == at.front()) {
            w.put_dpp_start(key);
            w.put_time_start(1709651000);
        }
        w.put_dpp_end(key);
        w.put_time_end(1709651100);
        w.put_stored(frame_key(key), bytes);
    }
    w.close("A : B", to_narrow(L"левый"));
}

std::map<std::string, std::string> database_digest(const std::string& path) {
    std::map<std::string, std::string> digests;
    ldb_reader db(path);
    db.scan({}, [&](std::string_view key, std::string_view value) {
        digests.emplace(key, sha256_hex(value));
        return true;
    });
    return digests;
}

s3_settings engine_settings(const fleet_engine& engine) {
    s3_settings s;
    s.endpoint = engine.endpoint();
    s.bucket = engine.bucket();
    s.access_key = engine.account().access_key;
    s.secret_key = engine.account().secret_key;
    s.connect_timeout = 3s;
    s.stall_timeout = 10s;
    return s;
}
