// Reading sessions in the fleet store, and the work on a session's objects
// that is not its upload: finding sessions by vehicle, side and time,
// reading and checking their manifests, fetching one frame with one ranged
// GET, restoring a session as a database the station opens, checking a
// session the station lists as stored, deleting a session's unfinished
// chunks.
//
// Every call throws s3_error (and s3_aborted) as s3_client does, and
// manifest_error for a manifest that is malformed, lies, or names another
// place than the one it lies at. Used by one thread, the client's.
#pragma once

#include "database/ldb_info.h"
#include "fleet/manifest.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class s3_client;

// One session's place in the bucket, as the listing gives it.
struct session_place {
    std::string prefix;  // "<vehicle>/<side>/<time>/"
    std::string vehicle;
    std::string side;
    std::string time;  // "YYYYMMDDTHHMMSS", the folder's local time
};

// Empty members match everything; times compare as "YYYYMMDDTHHMMSS" texts.
struct session_filter {
    std::string vehicle;
    std::string side;
    std::string since;  // at or after
    std::string until;  // at or before
};

class fleet_store {
  public:
    explicit fleet_store(s3_client& store) : store_(store) {}

    // Every session place matching the filter, in key order, whether its
    // manifest was written or not. Objects that follow no session layout are
    // passed over.
    std::vector<session_place> sessions(const session_filter& filter);

    // The manifest at the prefix, read strictly; nothing when there is none
    // (the session is not complete there).
    std::optional<session_manifest> manifest(const std::string& prefix);

    // The stored bytes of one frame, fetched with one ranged GET.
    std::string frame_bytes(const session_manifest& m, const manifest_frame& frame);
    // The PNG the station's data service answers for the frame at or after
    // `value`; throws std::runtime_error when `value` lies outside the
    // session or the frame is no image.
    std::vector<uint8_t> frame_png(const session_manifest& m, uint32_t value);

    // Rebuilds the session as the database folder <out_dir>/<folder>, its
    // entries byte for byte those of the database uploaded; every chunk is
    // checked against its SHA-256 first. It is written under a hidden name
    // and renamed when complete, so no half-restored session is ever found;
    // an existing folder of that name is left alone (an error). Returns the
    // folder's path. `done` is told the bytes of frames written so far.
    std::string restore(const session_manifest& m, const std::string& out_dir,
                        const std::function<void(uint64_t done, uint64_t total)>& done = {});

    // "" when the manifest at `prefix` agrees with the local database's
    // record (session, side, count, first and last odometer count); else
    // what disagrees, or that there is no manifest.
    std::string check_stored(const std::string& prefix, const ldb_info& local);

    // Deletes every object under `prefix` that the manifest there does not
    // name (every object when there is no manifest); returns how many.
    size_t delete_unfinished(const std::string& prefix);

  private:
    s3_client& store_;
};
