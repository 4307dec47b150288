// Coverage by distance: what a session recorded and what it missed, from its
// frame keys alone (the odometer counts at which frames were stored).
//
// The nominal step is the most common difference between consecutive keys
// (the smallest of equally common ones). A gap is a pair of consecutive keys
// further apart than 1.5 nominal steps; the frames missing there are those
// the nominal step would have put between them. The covered share is the
// part of the span not lost in gaps. Keys are sorted and distinct, as a
// session database holds them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct coverage_gap {
    uint32_t start = 0;    // the last key before the gap
    uint32_t end = 0;      // the first key after it
    uint64_t missing = 0;  // frames the nominal step would have put between
};

struct coverage {
    uint64_t frames = 0;
    uint32_t first = 0;
    uint32_t last = 0;
    uint32_t step = 0;  // nominal; 0 with fewer than two frames
    std::vector<coverage_gap> gaps;
    double covered = 0;  // share of the span, 0 to 1; 1 for a single frame, 0 for none

    uint64_t span() const { return last - first; }
    // The largest gap, by distance; nothing when there is none.
    std::optional<coverage_gap> largest_gap() const;
    uint64_t missing() const;
};

// The coverage of sorted, distinct keys.
coverage coverage_of(const std::vector<uint32_t>& keys);

// The coverage of a session database's frame keys, read straight from the
// store. Throws the store's status text, and for a database another handle
// holds (a recording, a viewer) an error that says it is in use; never waits.
coverage coverage_of_database(const std::string& path);

// One line for the operator: "кадров: N, путь: S, шаг: P, пропусков: G, покрыто: 99.5%".
std::string coverage_summary(const coverage& c);
