// One session database as it goes into the fleet store: its frames in key
// order, cut into chunks of at most 16 MiB (a frame starts a new chunk when
// it would not fit in the current one; a single larger frame has a chunk of
// its own), its metadata, and where it lies in the bucket. The same
// database always gives the same chunks.
//
// The plan holds the database open for reading (a handle shared with the
// station's other readers) until it is destroyed. Used by one thread.
#pragma once

#include "fleet/manifest.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class ldb_reader;

class session_plan {
  public:
    // Reads the session database at `path` for the vehicle `vehicle`.
    // Refuses, with a text naming the folder, the session being recorded, a
    // session that was never closed, one without frames, one whose side is
    // neither left nor right, and a folder whose name is not a session's
    // time. `stop` is asked between frames; when it says so, s3_aborted is
    // thrown. Throws the store's status text when the database cannot be read.
    session_plan(const std::string& path, const std::string& vehicle,
                 const std::function<bool()>& stop = {});
    ~session_plan();
    session_plan(const session_plan&) = delete;
    session_plan& operator=(const session_plan&) = delete;

    const std::string& path() const { return path_; }
    // "<vehicle>/<side>/<time>/"
    const std::string& prefix() const { return prefix_; }
    size_t chunk_count() const { return chunk_sizes_.size(); }
    uint64_t chunk_size(size_t i) const { return chunk_sizes_.at(i); }
    uint64_t total_bytes() const { return total_; }
    // SHA-256 over every frame's key and length: what the chunks were cut from.
    const std::string& frames_sha256() const { return frames_sha256_; }

    // The bytes of chunk `i`, read from the database now; throws when its
    // frames are no longer those planned.
    std::string chunk_bytes(size_t i) const;

    // The manifest, given the SHA-256 of every chunk.
    session_manifest manifest(const std::vector<std::string>& chunk_sha256) const;

  private:
    std::string path_;
    std::string prefix_;
    session_manifest base_;  // everything but the chunks' digests
    std::vector<uint64_t> chunk_sizes_;
    std::vector<size_t> chunk_first_;  // index of each chunk's first frame
    uint64_t total_ = 0;
    std::string frames_sha256_;
    std::unique_ptr<ldb_reader> reader_;
};

// "left" for the stored side "левый" (in the system's narrow encoding) or
// "left", "right" for "правый" or "right"; empty for any other text.
std::string bucket_side(const std::string& stored_side);
