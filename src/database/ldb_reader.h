// Read-only view of one session database. Each reader is used by one thread
// at a time (the catalogue loader, the viewer, a data access connection);
// readers of the same database share its store handle.
#pragma once

#include "database/ldb_format.h"
#include "database/ldb_info.h"

#include <leveldb/db.h>
#include <opencv2/core.hpp>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class ldb_reader {
  public:
    // Opens the store (never creating it) and seeks the current iterator to
    // the frame key of "dpp_start". Throws the store's status text, or the
    // number conversion's text for a database whose "dpp_start" or "dpp_end"
    // read lands on a text entry.
    explicit ldb_reader(const std::string& path);
    ~ldb_reader();
    ldb_reader(const ldb_reader&) = delete;
    ldb_reader& operator=(const ldb_reader&) = delete;

    // The record by the rules of ::read_info.
    ldb_info read_info();

    // Current iterator to the first key at or after the frame key of `value`.
    void seek_frame(uint32_t value);
    // The current value decoded as a colour image; empty if it is no image.
    void decode_current(cv::Mat& image);
    // A fresh iterator at the frame key of `value`, decoded as decode_current does.
    void frame_at(uint32_t value, cv::Mat& image);
    // Key and value at the current iterator, unchanged; empty when it is not valid.
    std::pair<std::string, std::string> frame_bytes() const;
    // Moves the current iterator to the next entry.
    void step_forward();
    // The odometer values of every frame, in order.
    std::vector<uint32_t> frame_keys();
    // Every entry from the first key at or after `from`, in the store's
    // order, key and value as stored, until `take` returns false. The views
    // last until `take` returns. Throws the store's status text when a read
    // fails.
    void scan(const std::string& from,
              const std::function<bool(std::string_view key, std::string_view value)>& take);

    // Single reads with the defaults of a missing entry.
    uint32_t read_count();       // exact, 0
    std::string read_version();  // seeking, ""
    uint32_t read_dpp_start();   // seeking, 0
    uint32_t read_dpp_end();     // seeking, 0

  private:
    std::shared_ptr<leveldb::DB> db_;  // shared with other readers of the same database
    std::unique_ptr<leveldb::Iterator> current_;
};
