// What the station knows of its uploads to one fleet store: for each session
// folder, where it goes in the bucket, the chunks the store has confirmed,
// and whether the whole session was verified there. Kept in one file, by
// default ~/Dunmere/fleet/uploads.json, never inside a session's database.
//
// The file belongs to one endpoint and bucket. Opened for another endpoint
// or bucket, it is taken as empty (the states start afresh), and the next
// save() replaces it. save() writes a temporary file beside it, syncs it and
// renames it over the old one, so a crash leaves the old state or the new
// one, never a mixture; the file and its folder are readable by their owner
// only. A file that cannot be read as a state is set aside as empty too, and
// load_problem() says why.
//
// Format (JSON, texts as in fleet/json.h):
//   {"version": 1, "endpoint": "...", "bucket": "...", "sessions": [
//     {"folder": "/path/2024.03.05 14.07.09", "prefix": "V1/left/20240305T140709/",
//      "frames_sha256": "...", "stored": false, "manifest_sha256": "",
//      "chunks": [[index, size, "sha256", "md5"], ...]}, ...]}
//
// Not safe for concurrent use: one thread (the upload thread) owns it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct chunk_record {
    uint32_t index = 0;
    uint64_t size = 0;
    std::string sha256;
    std::string md5;  // the ETag the store gave, when it was an MD5
};

struct session_record {
    std::string folder;                // the session database's full path
    std::string prefix;                // where it goes in the bucket
    std::string frames_sha256;         // of the frames the chunks were cut from
    std::vector<chunk_record> chunks;  // confirmed by the store, by index
    bool stored = false;               // verified in the store
    std::string manifest_sha256;       // of the manifest verified

    const chunk_record* chunk(uint32_t index) const;
    void confirm(const chunk_record& c);  // replaces a record of the same index
    void forget(uint32_t index);
};

class upload_state {
  public:
    // Loads `file` if it exists and belongs to this endpoint and bucket.
    upload_state(std::string file, std::string endpoint, std::string bucket);

    // A state read from `text` as from its file, for checking the format;
    // it has no file of its own to save to.
    static upload_state from_text(std::string_view text, std::string endpoint, std::string bucket);
    // What save() writes.
    std::string text() const;

    // Why an existing file was not taken ("" when it was, or there was none).
    const std::string& load_problem() const { return load_problem_; }
    const std::string& file() const { return file_; }

    // The record of a folder, or null.
    const session_record* find(const std::string& folder) const;
    // The record of a folder, made empty if there was none.
    session_record& record(const std::string& folder);
    void erase(const std::string& folder);
    const std::vector<session_record>& records() const { return records_; }

    // Replaces the file by the state now. Throws std::runtime_error naming
    // the file and the system's reason (a full disk, for example); the file
    // on disk is then the one before.
    void save() const;

  private:
    void load(const std::string& text);

    std::string file_;
    std::string endpoint_;
    std::string bucket_;
    std::string load_problem_;
    std::vector<session_record> records_;
};

// <home>/Dunmere/fleet/uploads.json
std::string default_state_file(const std::string& home);
