#include "database/catalogue.h"

#include <algorithm>
#include <mutex>

catalogue& catalogue::instance() {
    static catalogue list;
    return list;
}

bool catalogue::listed(const wxString& path) const {
    return paths_.count(path.ToStdWstring()) != 0;
}

bool catalogue::append(ldb_entry entry) {
    std::unique_lock lock(catalogue_lock);
    if (!paths_.insert(entry.path.ToStdWstring()).second) return false;
    entries_.push_back(std::move(entry));
    return true;
}

std::vector<ldb_entry> catalogue::append(std::vector<ldb_entry> entries) {
    std::unique_lock lock(catalogue_lock);
    std::vector<ldb_entry> appended;
    for (ldb_entry& entry : entries) {
        if (!paths_.insert(entry.path.ToStdWstring()).second) continue;
        entries_.push_back(entry);
        appended.push_back(std::move(entry));
    }
    return appended;
}

bool catalogue::remove(const wxString& path) {
    std::unique_lock lock(catalogue_lock);
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const ldb_entry& e) { return e.path == path; });
    if (it == entries_.end()) return false;
    entries_.erase(it);
    paths_.erase(path.ToStdWstring());
    return true;
}

void catalogue::relabel(const wxString& path, const std::function<void(ldb_info&)>& change) {
    std::unique_lock lock(catalogue_lock);
    const auto it = std::find_if(entries_.begin(), entries_.end(),
                                 [&](const ldb_entry& e) { return e.path == path; });
    if (it != entries_.end()) change(it->info);
}

void catalogue::clear() {
    std::unique_lock lock(catalogue_lock);
    entries_.clear();
    paths_.clear();
}

std::vector<ldb_entry> catalogue::snapshot() const {
    std::shared_lock lock(catalogue_lock);
    return entries_;
}

std::optional<ldb_entry> catalogue::find_path(const wxString& path) const {
    std::shared_lock lock(catalogue_lock);
    if (!listed(path)) return std::nullopt;
    for (const ldb_entry& entry : entries_) {
        if (entry.path == path) return entry;
    }
    return std::nullopt;
}

std::optional<wxString> catalogue::find_frame(const std::string& session, uint32_t value) const {
    std::shared_lock lock(catalogue_lock);
    for (const ldb_entry& entry : entries_) {
        const ldb_info& info = entry.info;
        if (info.session == session && info.dpp_start <= value && info.dpp_end >= value) {
            return entry.path;
        }
    }
    return std::nullopt;
}
