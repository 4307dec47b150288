// Syncs an open store's write-ahead log to the disk at an interval, on a
// thread of its own, so the thread that puts never waits for the disk.
//
// A put reaches the operating system before it returns; the sync only bounds
// what a power cut can lose. It waits for every byte written since the last
// one, which on a busy disk takes long enough to hold up a recording that
// put the frames itself. Syncing the log through a descriptor of our own is
// the same as the store's own sync: data goes to the disk per file, not per
// descriptor.
//
// The syncer is created after the store is opened and destroyed before the
// store is released (by the thread that drives the store); set_interval and
// failure may be called from that thread at any time. A failed sync is kept:
// failure() gives its text, in the store's form, for the next put to throw.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class log_syncer {
  public:
    using clock = std::chrono::steady_clock;
    // Starts syncing the newest log file in the store folder `path`;
    // clock::duration::max() syncs never.
    log_syncer(std::string path, clock::duration interval);
    // Stops and waits for a sync in progress.
    ~log_syncer();
    log_syncer(const log_syncer&) = delete;
    log_syncer& operator=(const log_syncer&) = delete;

    void set_interval(clock::duration interval);
    // The first failed sync's text; it is given once.
    std::optional<std::string> failure();
    // Syncs now, on the calling thread; the same as a sync at the interval.
    void sync_now();

  private:
    void run();

    const std::string path_;
    std::atomic<clock::rep> interval_;
    std::atomic<bool> failed_{false};

    std::mutex guard_;
    std::condition_variable wake_;
    // Guarded by guard_.
    bool stopping_ = false;
    std::string failure_;

    std::thread thread_;  // last: starts once the rest is ready
};
