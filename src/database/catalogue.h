// The catalogue of recorded databases: every session database the station
// knows, in the order it learnt of them (the scan of the write folder, then
// each recording as it ends), each database folder once: an entry whose
// path is already catalogued is refused, however it was learnt of.
//
// One process-wide instance, shared by the user-interface thread, which
// changes it (append, remove, relabel, clear), and the data access threads,
// which search it. Every member takes catalogue_lock itself, exclusive to
// change and shared to read, and holds it only for the work on the entries:
// callers never take it, and nothing slow (a database opened, a window
// drawn) happens under it. Safe from any thread.
#pragma once

#include "database/ldb_info.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_set>
#include <vector>

class catalogue {
  public:
    static catalogue& instance();

    // Appends the entry unless its path is catalogued; false when refused.
    bool append(ldb_entry entry);
    // Appends each entry as append() does, in order; returns those appended.
    std::vector<ldb_entry> append(std::vector<ldb_entry> entries);
    // Removes the first entry with exactly this path; false when there is none.
    bool remove(const wxString& path);
    // Changes the record of the first entry with exactly this path.
    void relabel(const wxString& path, const std::function<void(ldb_info&)>& change);
    void clear();

    // A copy of every entry, in order.
    std::vector<ldb_entry> snapshot() const;

    // The first entry with exactly this path.
    std::optional<ldb_entry> find_path(const wxString& path) const;

    // The path of the first entry whose session equals `session` exactly and
    // whose frame range holds `value`; nothing when no entry does.
    std::optional<wxString> find_frame(const std::string& session, uint32_t value) const;

  private:
    bool listed(const wxString& path) const;  // catalogue_lock held

    mutable std::shared_mutex catalogue_lock;
    // State below is guarded by catalogue_lock.
    std::vector<ldb_entry> entries_;
    std::unordered_set<std::wstring> paths_;  // of entries_
};
