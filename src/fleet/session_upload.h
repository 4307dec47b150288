// The upload of one session database to the fleet store, resumable: the
// core of the upload thread, with no thread of its own.
//
// run() plans the session's chunks from its database (refusing the session
// being recorded) and holds the database for reading until it returns, so
// nothing changes it meanwhile. It takes the confirmations the state holds
// for the same frames and checks them against the bucket (a chunk that is
// gone is sent again) and against the database (chunks confirmed by an
// earlier run are read again: if one differs, the session is not the one
// whose upload began, and all of it is sent again); a chunk the store holds
// whole with the right MD5 counts as confirmed without being sent. Then it
// sends every chunk not yet confirmed, in order, recording each one in the
// state as the store confirms it, writes manifest.json last, and verifies
// that the manifest read back is byte-equal to the one sent and that every
// chunk's HEAD gives its size (and its MD5 as ETag, where the ETag is one).
// Only then is the session marked stored in the state. A cut or a crash
// anywhere costs at most the chunk in flight.
//
// Commands that change or remove the database (relabel, delete) cannot open
// it while run() holds it: abort first.
//
// While chunks are to be sent, no manifest stands under the session's
// prefix (an older one is deleted first), so nothing half-written is ever
// taken for a complete session.
//
// Cancelling: s3_client::abort() (any thread) ends the request in flight and
// the reading of the database within about a second; run() then throws
// s3_aborted and lets go of the database. Other failures throw: s3_error
// from the store (see transient()), std::runtime_error for the database, the
// state file, or a verification that failed (its text says which chunk or
// what differs; the state then no longer counts what failed as confirmed,
// so the next run sends it again).
//
// The caller's thread runs everything; the state and the client are used by
// that thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class s3_client;
class upload_state;

struct upload_progress {
    // checking: what the store holds already, against the database;
    // sending: chunks going out; verifying: the store's copy, chunk by chunk.
    enum stage_kind { checking, sending, verifying };
    stage_kind stage = checking;
    uint64_t done = 0;   // bytes of the session confirmed, or verified
    uint64_t total = 0;  // bytes of the session's frames
    uint64_t sent = 0;   // bytes sent over the network in this run, for the rate
};

struct upload_result {
    std::string prefix;       // where the session lies in the bucket
    uint64_t bytes = 0;       // of its frames
    size_t chunks = 0;        // in all
    size_t chunks_sent = 0;   // in this run
    uint64_t bytes_sent = 0;  // in this run, manifest included
};

class session_upload {
  public:
    using report = std::function<void(const upload_progress&)>;

    session_upload(s3_client& store, upload_state& state, std::string path, std::string vehicle);

    upload_result run(const report& progress = {});

  private:
    s3_client& store_;
    upload_state& state_;
    std::string path_;
    std::string vehicle_;
};
