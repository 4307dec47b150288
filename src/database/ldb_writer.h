// The one component through which a session database is changed.
//
// ldb_writer::live() is the process-wide database of the recording in
// progress: the write thread drives it (open, puts, close) and is the only
// thread that may; any thread may make the live reads and ask for its path,
// which take the shared side of the writer's guard while open() and close()
// take the exclusive side, so no read ever touches a released handle or a
// path being assigned.
//
// Relabelling uses short-lived instances of its own. Every entry is a single
// put; failures throw the store's status text and leave earlier entries.
//
// Every put reaches the operating system at once, so a killed process loses
// nothing put; while a database is open its log is synced to the disk once a
// second, off the driving thread, which bounds what a power cut can lose to
// about the last second. A failed sync is thrown by the next put.
#pragma once

#include "database/ldb_info.h"
#include "database/log_syncer.h"

#include <leveldb/db.h>
#include <opencv2/core.hpp>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

class ldb_writer {
  public:
    ldb_writer();
    ~ldb_writer();
    ldb_writer(const ldb_writer&) = delete;
    ldb_writer& operator=(const ldb_writer&) = delete;

    static ldb_writer& live();

    using clock = std::chrono::steady_clock;
    // The time between two syncs of the open database's log (1 s);
    // clock::duration::max() syncs never (for measurements).
    void set_sync_interval(clock::duration interval);
    // Stores opened from now on use this file system (null: the default);
    // for tests that make writes fail below the writer.
    static void set_store_env(leveldb::Env* env);

    // Opens (creating if missing) and puts "version" = "1".
    void open(const std::string& path);
    // Only when open: puts "session", "side", "count", moves the session's
    // last write buffer into a table, and releases the handle. For a
    // database with frames, returns its record by the rules of ::read_info,
    // read after the closing entries: the record any later read of the
    // database gives, size included (the buffer a later open would move is
    // moved now). `missing_start` as for ::read_info. Nothing when nothing
    // was open, no frame was put, or the record does not read (a number
    // entry holds something else: a later scan refuses the database too).
    std::optional<ldb_info> close(const std::string& session, const std::string& side,
                                  bool* missing_start = nullptr);
    // Releases the handle without the closing entries (relabelling).
    void release();

    // The puts do nothing while no database is open.
    void put_session(const std::string& text);
    void put_side(const std::string& text);
    void put_count();
    void put_dpp_start(uint32_t value);
    void put_dpp_end(uint32_t value);
    void put_time_start(std::time_t time);
    void put_time_end(std::time_t time);
    // JPEG (quality 85) of an 8-bit grey image under the frame key; counts it.
    // Returns the bytes stored.
    size_t put_frame(const cv::Mat& image, uint32_t value);
    // The same, for a frame already encoded by encode_frame (byte for byte
    // what put_frame stores), so encoding can run elsewhere.
    void put_frame_jpeg(const std::vector<uint8_t>& jpeg, uint32_t value);
    // Puts an entry exactly as another copy of a database stores it, frame
    // or metadata (a session restored from elsewhere); frames are counted.
    void put_stored(const std::string& key, std::string_view bytes);
    // The stored form of a frame: JPEG, quality 85. `jpeg` keeps its
    // capacity from call to call. Any thread.
    static void encode_frame(const cv::Mat& image, std::vector<uint8_t>& jpeg);

    bool is_open() const;
    uint64_t count() const { return count_; }
    // The folder of the database opened last.
    std::string path() const;
    // True while the database at `path` is the one open, or being opened
    // (its folder may exist before the store is open).
    bool holds(const std::string& path) const;

    // Live reads; defaults when no database is open.
    uint32_t read_dpp_start() const;   // seeking, 0
    uint32_t read_dpp_end() const;     // seeking, 0
    std::string read_session() const;  // seeking, "" (the relabelling dialog's first text)
    // Seeking; unknown when absent, and `missing` is set when no entry lies
    // at or after the key.
    std::optional<std::time_t> read_time_start(bool* missing = nullptr) const;
    // The size estimate of read_info().
    uint64_t read_size() const;
    // The record of the open database by the rules of ::read_info, with count
    // from memory; empty when none is open.
    ldb_info read_info(bool* missing_start = nullptr) const;

    // Seeks a fresh iterator to the frame key of `value`; the value found there,
    // or nothing when no database is open or no entry follows.
    std::optional<std::string> seek_value(uint32_t value) const;

  private:
    void put(const std::string& key, const std::string& value);
    void put_bytes(const std::string& key, const leveldb::Slice& bytes);

    mutable std::shared_mutex guard_;
    // Changed only by the driving thread, under guard_ held exclusive; read
    // by others under guard_ held shared.
    std::string path_;
    std::unique_ptr<leveldb::DB> db_;
    bool opening_ = false;
    leveldb::Options options_;
    clock::duration sync_interval_ = std::chrono::seconds(1);  // driving thread
    std::unique_ptr<log_syncer> syncer_;                       // driving thread; while db_ is open
    std::atomic<uint64_t> count_{0};
};
