// The manifest of a session in the fleet store: manifest.json, written after
// every chunk, so its presence marks the session complete. Anyone with an S3
// client and a JSON reader finds a frame in it and fetches the frame with one
// ranged GET of its chunk.
//
// Members, in this order:
//   version     1
//   vehicle     the vehicle's name in the bucket
//   side        "left" or "right"
//   folder      the session folder's real name ("2024.03.05 14.07.09")
//   session     the session code as stored
//   time_start, time_end   Unix seconds of the first and last frame, or null
//   dpp_start, dpp_end     the first and last frame's odometer count
//   count       the number of frames in "frames"
//   metadata    every stored entry that is not a frame, name to value, byte
//               for byte ("count" there counts every frame written, repeats
//               at one odometer count included)
//   coverage    {frames, first, last, span, step, gaps: [[start, end,
//               missing], ...], covered}, as coverage_of() computes it
//   chunks      [{name, size, sha256}, ...], chunk i named chunk_name(i)
//   frames      [[key, chunk, offset, length], ...] in key order; the key as
//               its ten-digit text, offset and length in bytes in the chunk
// Texts are JSON strings in the form of fleet/json.h, so texts that are not
// UTF-8 keep every byte.
//
// read_manifest() is strict: it refuses what is not exactly this shape and
// whatever contradicts itself (frames out of key order, a frame outside its
// chunk or overlapping the next, chunk sizes that are not their frames' sum,
// a count, range, time, session or coverage that is not what the frames and
// metadata say). Plain code over bytes, safe from any thread.
#pragma once

#include "database/coverage.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class manifest_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct manifest_chunk {
    std::string name;
    uint64_t size = 0;
    std::string sha256;  // lower-case hex
};

struct manifest_frame {
    uint32_t key = 0;
    uint32_t chunk = 0;
    uint64_t offset = 0;
    uint64_t length = 0;
};

struct session_manifest {
    static constexpr int format_version = 1;

    std::string vehicle;
    std::string side;  // "left" or "right"
    std::string folder;
    std::string session;
    std::optional<int64_t> time_start;
    std::optional<int64_t> time_end;
    uint32_t dpp_start = 0;
    uint32_t dpp_end = 0;
    uint64_t count = 0;
    std::vector<std::pair<std::string, std::string>> metadata;  // in the store's key order
    coverage cover;
    std::vector<manifest_chunk> chunks;
    std::vector<manifest_frame> frames;

    // "<vehicle>/<side>/<time>/", where it belongs in the bucket.
    std::string prefix() const;
    // The stored value of a metadata entry, if there is one.
    const std::string* stored(std::string_view key) const;
    // The first frame at or after `value`, or null.
    const manifest_frame* frame_at_or_after(uint32_t value) const;
};

// The manifest's bytes; the same manifest always gives the same bytes.
std::string write_manifest(const session_manifest& m);

// Throws manifest_error saying what is wrong.
session_manifest read_manifest(std::string_view text);
