#include "database/shared_store.h"

#include "database/ldb_format.h"
#include "runtime/thread_name.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr auto kIdleLifetime = std::chrono::seconds(4);
// How often the closer looks; an idle handle goes within lifetime + this.
constexpr auto kLookEvery = std::chrono::milliseconds(500);

struct cached_handle {
    std::shared_ptr<leveldb::DB> handle;  // null while its first open runs
    clock_type::time_point last_held;     // last seen held by a reader
};

// The registry and the thread that closes its idle handles. One instance for
// the process; its destructor stops the closer before the map goes.
class registry {
  public:
    static registry& instance() {
        static registry r;
        return r;
    }

    ~registry() {
        std::unique_lock lock(guard_);
        stopping_ = true;
        wake_.notify_all();
        lock.unlock();
        if (closer_.joinable()) closer_.join();
    }

    std::shared_ptr<leveldb::DB> open(const std::string& path) {
        std::unique_lock lock(guard_);
        for (;;) {
            const auto it = handles_.find(path);
            if (it == handles_.end()) break;
            if (it->second.handle) {
                it->second.last_held = clock_type::now();
                return it->second.handle;
            }
            opened_.wait(lock);  // another thread is opening it: share its result
        }
        handles_[path] = {nullptr, clock_type::now()};
        lock.unlock();

        std::shared_ptr<leveldb::DB> handle;
        try {
            handle = open_store(path);
        } catch (...) {
            lock.lock();
            handles_.erase(path);
            opened_.notify_all();
            throw;
        }
        lock.lock();
        handles_[path] = {handle, clock_type::now()};
        opened_.notify_all();
        start_closer();
        return handle;
    }

    void release(const std::string& path) {
        std::shared_ptr<leveldb::DB> closing;  // closed after the guard is let go
        std::lock_guard lock(guard_);
        const auto it = handles_.find(path);
        if (it == handles_.end() || !idle(it->second)) return;
        closing = std::move(it->second.handle);
        handles_.erase(it);
    }

    void release_idle() {
        std::vector<std::shared_ptr<leveldb::DB>> closing;  // closed after the guard
        std::lock_guard lock(guard_);
        for (auto it = handles_.begin(); it != handles_.end();) {
            if (idle(it->second)) {
                closing.push_back(std::move(it->second.handle));
                it = handles_.erase(it);
            } else {
                ++it;
            }
        }
    }

  private:
    static std::shared_ptr<leveldb::DB> open_store(const std::string& path) {
        if (!holds_store(path)) {
            throw_if_failed(leveldb::Status::InvalidArgument(
                path, "does not exist (create_if_missing is false)"));
        }
        leveldb::Options options;
        options.create_if_missing = false;
        leveldb::DB* db = nullptr;
        throw_if_failed(leveldb::DB::Open(options, path, &db));
        return std::shared_ptr<leveldb::DB>(db);
    }

    // Only the registry holds it (and it is not being opened).
    static bool idle(const cached_handle& entry) {
        return entry.handle && entry.handle.use_count() == 1;
    }

    // Guard held. The closer runs while anything is cached and ends by
    // itself when the registry is empty.
    void start_closer() {
        if (closer_running_) return;
        if (closer_.joinable()) closer_.join();  // it has ended or is ending
        closer_running_ = true;
        closer_ = std::thread([this] {
            name_this_thread("store closer");
            close_idle_handles();
        });
    }

    void close_idle_handles() {
        std::unique_lock lock(guard_);
        while (!stopping_ && !handles_.empty()) {
            wake_.wait_for(lock, kLookEvery);
            const auto now = clock_type::now();
            std::vector<std::shared_ptr<leveldb::DB>> closing;
            for (auto it = handles_.begin(); it != handles_.end();) {
                if (!it->second.handle || !idle(it->second)) {
                    it->second.last_held = now;
                    ++it;
                } else if (now - it->second.last_held >= kIdleLifetime) {
                    closing.push_back(std::move(it->second.handle));
                    it = handles_.erase(it);
                } else {
                    ++it;
                }
            }
            // Closing a store waits for its compaction: never under the guard.
            lock.unlock();
            closing.clear();
            lock.lock();
        }
        closer_running_ = false;
    }

    mutable std::mutex guard_;
    // State below is protected by guard_.
    std::map<std::string, cached_handle> handles_;
    std::condition_variable opened_;  // a first open has ended
    std::condition_variable wake_;    // the registry is going
    bool stopping_ = false;
    bool closer_running_ = false;
    std::thread closer_;
};

}  // namespace

std::shared_ptr<leveldb::DB> shared_store::open(const std::string& path) {
    return registry::instance().open(path);
}

void shared_store::release(const std::string& path) {
    registry::instance().release(path);
}

std::chrono::milliseconds shared_store::idle_lifetime() {
    return kIdleLifetime;
}

void shared_store::release_idle() {
    registry::instance().release_idle();
}
