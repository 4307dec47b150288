#include "database/log_syncer.h"

#include <leveldb/status.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {
// How often a changed interval is noticed while waiting.
constexpr auto kPoll = std::chrono::milliseconds(100);

// The store writes its log to "<number>.log" and starts a new one, with a
// higher number, when it moves its write buffer to a table; older logs are
// deleted once their table is synced.
std::string newest_log(const std::string& folder) {
    std::string newest;
    unsigned long long highest = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::filesystem::path& p = entry.path();
        if (p.extension() != ".log") continue;
        const std::string stem = p.stem().string();
        if (stem.empty() || stem.find_first_not_of("0123456789") != std::string::npos) continue;
        const unsigned long long number = std::stoull(stem);
        if (newest.empty() || number > highest) {
            highest = number;
            newest = p.string();
        }
    }
    return newest;
}
}  // namespace

log_syncer::log_syncer(std::string path, clock::duration interval)
    : path_(std::move(path)), interval_(interval.count()), thread_([this] { run(); }) {}

log_syncer::~log_syncer() {
    {
        std::lock_guard lock(guard_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void log_syncer::set_interval(clock::duration interval) {
    interval_ = interval.count();
}

std::optional<std::string> log_syncer::failure() {
    if (!failed_.load(std::memory_order_acquire)) return std::nullopt;
    std::lock_guard lock(guard_);
    if (failure_.empty()) return std::nullopt;
    return std::exchange(failure_, std::string());
}

void log_syncer::sync_now() {
    const std::string log = newest_log(path_);
    if (log.empty()) return;  // no log on this file system (a test's)
    const int fd = ::open(log.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;  // a newer log took its place and it was deleted: synced with its table
    const int synced = ::fdatasync(fd);
    const int error = errno;
    ::close(fd);
    if (synced == 0) return;
    std::lock_guard lock(guard_);
    failure_ = leveldb::Status::IOError(log, std::strerror(error)).ToString();
    failed_.store(true, std::memory_order_release);
}

void log_syncer::run() {
    auto last = clock::now();
    std::unique_lock lock(guard_);
    while (!stopping_) {
        wake_.wait_for(lock, kPoll);
        if (stopping_) break;
        const clock::duration interval(interval_.load());
        if (interval == clock::duration::max() || clock::now() - last < interval) continue;
        last = clock::now();
        lock.unlock();
        sync_now();
        lock.lock();
    }
}
