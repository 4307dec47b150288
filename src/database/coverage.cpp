#include "database/coverage.h"

#include "database/ldb_format.h"
#include "database/shared_store.h"

#include <leveldb/db.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

// Differences below this are counted in a table; the rare larger ones, which
// are gaps unless the step itself is that large, in a map.
constexpr uint32_t kTableSize = 1024;

uint32_t nominal_step(const std::vector<uint32_t>& keys) {
    // Four tables taken in turn, so that a run of equal steps does not wait
    // on the same counter from one key to the next.
    std::array<std::array<uint32_t, kTableSize>, 4> small{};
    std::map<uint32_t, uint64_t> large;
    const size_t n = keys.size();
    for (size_t i = 1; i < n; ++i) {
        const uint32_t d = keys[i] - keys[i - 1];
        if (d < kTableSize) {
            ++small[i & 3][d];
        } else {
            ++large[d];
        }
    }
    uint32_t step = 0;
    uint64_t most = 0;
    for (uint32_t d = 1; d < kTableSize; ++d) {
        const uint64_t times = uint64_t(small[0][d]) + small[1][d] + small[2][d] + small[3][d];
        if (times > most) {
            most = times;
            step = d;
        }
    }
    for (const auto& [d, times] : large) {
        if (times > most) {
            most = times;
            step = d;
        }
    }
    return step;
}

}  // namespace

std::optional<coverage_gap> coverage::largest_gap() const {
    if (gaps.empty()) return std::nullopt;
    return *std::max_element(gaps.begin(), gaps.end(), [](const auto& a, const auto& b) {
        return a.end - a.start < b.end - b.start;
    });
}

uint64_t coverage::missing() const {
    uint64_t n = 0;
    for (const auto& g : gaps)
        n += g.missing;
    return n;
}

coverage coverage_of(const std::vector<uint32_t>& keys) {
    coverage c;
    c.frames = keys.size();
    if (keys.empty()) return c;
    c.first = keys.front();
    c.last = keys.back();
    c.covered = 1;
    if (keys.size() < 2) return c;
    c.step = nominal_step(keys);
    // A gap: further apart than 1.5 steps, that is 2 d > 3 step.
    const uint64_t twice_limit = 3 * uint64_t(c.step);
    uint64_t lost = 0;  // distance not covered by a frame's step
    for (size_t i = 1; i < keys.size(); ++i) {
        const uint32_t d = keys[i] - keys[i - 1];
        if (2 * uint64_t(d) <= twice_limit) continue;
        // Rounded to the nearest whole step: a gap of 2.6 steps misses 2 frames.
        const uint64_t steps = (2 * uint64_t(d) + c.step) / (2 * uint64_t(c.step));
        c.gaps.push_back({keys[i - 1], keys[i], steps - 1});
        lost += d - c.step;
    }
    c.covered = c.span() ? 1.0 - double(lost) / double(c.span()) : 1.0;
    return c;
}

coverage coverage_of_database(const std::string& path) {
    shared_store::release(path);
    leveldb::Options options;
    options.create_if_missing = false;
    leveldb::DB* raw = nullptr;
    const leveldb::Status opened = leveldb::DB::Open(options, path, &raw);
    // The store's lock: another handle (a recording, a viewer) holds it now.
    if (opened.IsIOError() && opened.ToString().find("lock") != std::string::npos) {
        throw std::runtime_error(path +
                                 ": the database is in use (being recorded or open in the "
                                 "station); try again once it is closed (" +
                                 opened.ToString() + ")");
    }
    throw_if_failed(opened);
    std::unique_ptr<leveldb::DB> db(raw);
    std::vector<uint32_t> keys;
    std::unique_ptr<leveldb::Iterator> it(db->NewIterator(leveldb::ReadOptions()));
    for (it->SeekToFirst(); it->Valid(); it->Next()) {
        // Frame keys come first; the metadata follow.
        if (!is_frame_key(it->key())) break;
        keys.push_back(frame_value(it->key()));
    }
    throw_if_failed(it->status());
    return coverage_of(keys);
}

std::string coverage_summary(const coverage& c) {
    char text[160];
    std::snprintf(
        text, sizeof(text), "кадров: %llu, путь: %llu, шаг: %u, пропусков: %zu, покрыто: %.1f%%",
        static_cast<unsigned long long>(c.frames), static_cast<unsigned long long>(c.span()),
        c.step, c.gaps.size(), c.covered * 100.0);
    return text;
}
