#include "database/shared_store.h"

#include "database/ldb_format.h"

#include <chrono>
#include <map>
#include <mutex>
#include <sys/stat.h>

namespace {

using clock_type = std::chrono::steady_clock;
constexpr auto kIdleLifetime = std::chrono::seconds(5);

struct cached_handle {
    std::shared_ptr<leveldb::DB> handle;
    clock_type::time_point last_used;
};

std::mutex& registry_guard() {
    static std::mutex guard;
    return guard;
}

// Guarded by registry_guard(). Entries whose handle only the registry holds
// are idle.
std::map<std::string, cached_handle>& registry() {
    static std::map<std::string, cached_handle> handles;
    return handles;
}

void drop_idle(clock_type::time_point now) {
    for (auto it = registry().begin(); it != registry().end();) {
        const bool idle = it->second.handle.use_count() == 1;
        it = idle && now - it->second.last_used > kIdleLifetime ? registry().erase(it)
                                                                : std::next(it);
    }
}

}  // namespace

std::shared_ptr<leveldb::DB> shared_store::open(const std::string& path) {
    std::lock_guard<std::mutex> lock(registry_guard());
    const auto now = clock_type::now();
    drop_idle(now);
    if (auto it = registry().find(path); it != registry().end()) {
        it->second.last_used = now;
        return it->second.handle;
    }
    struct stat info {};
    if (::stat((path + "/CURRENT").c_str(), &info) != 0) {
        throw_if_failed(
            leveldb::Status::InvalidArgument(path, "does not exist (create_if_missing is false)"));
    }
    leveldb::Options options;
    options.create_if_missing = false;
    leveldb::DB* db = nullptr;
    throw_if_failed(leveldb::DB::Open(options, path, &db));
    std::shared_ptr<leveldb::DB> handle(db);
    registry()[path] = {handle, now};
    return handle;
}

void shared_store::release(const std::string& path) {
    std::lock_guard<std::mutex> lock(registry_guard());
    auto it = registry().find(path);
    if (it != registry().end() && it->second.handle.use_count() == 1) registry().erase(it);
}

void shared_store::release_idle() {
    std::lock_guard<std::mutex> lock(registry_guard());
    std::erase_if(registry(),
                  [](const auto& entry) { return entry.second.handle.use_count() == 1; });
}
