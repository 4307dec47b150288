// One scan of the write folder ("write_path", read at construction): every
// immediate subfolder that holds a store is opened as a session database and
// reported as evt_db_list with its ldb_info, in the order of the folder's
// listing; a folder without a store is no database and is passed over; a
// database that cannot be read becomes one evt_log_error and the scan goes
// on; the disk's total and free space end the scan as evt_thread_status,
// named by the mount point of the write folder.
//
// A session a crash left unclosed is finished first, from the frames it
// holds, with one journal row (never the session being recorded now); one
// without a single frame is not a session and is passed over.
//
// Every scan has a number, carried as the int of its evt_db_list events (a
// recording's own evt_db_list carries 0). Constructing a scan abandons every
// earlier one: an abandoned scan sends nothing more and stops at its next
// folder, and the window drops what it had sent before (is_current()).
//
// Opening a database costs milliseconds of waiting for the disk, so several
// are opened side by side; each is read with a single open and let go at
// once, so a scan leaves no database locked.
//
// Joinable: its owner runs it through worker_threads, which deletes it once
// it has ended. It touches no shared data and reports only through the link.
#pragma once

#include "runtime/app_link.h"

#include <wx/thread.h>

#include <string>
#include <vector>

class load_thread : public wxThread {
  public:
    explicit load_thread(const app_link_ptr& link);

    // The int of evt_thread_status: the status field the event table names
    // for the disk line.
    static constexpr int disk_field = 3;

    int scan_number() const { return scan_; }
    // True for the newest scan's number: its rows belong in the list.
    static bool is_current(int scan);

    // "Диск: %s: Всего: %zu GB Cвободно: %zu GB" with whole GiB, remainder dropped.
    static wxString disk_space_text(const wxString& volume, uint64_t total, uint64_t free);

    // The mount point of the file system that holds `path`: the longest
    // mount point of `mounts` (the text of /proc/self/mounts) that is `path`
    // or one of its parent folders; "" when none is.
    static std::string mount_point(const std::string& path, const std::string& mounts);
    // The same for this system's mounts, after resolving links in `folder`.
    static wxString volume_name(const wxString& folder);

  protected:
    ExitCode Entry() override;

  private:
    struct folder_result;

    void scan();
    std::vector<wxString> subfolders() const;
    folder_result read_folder(const wxString& path) const;
    bool abandoned() const;

    app_link_ptr link_;
    wxString write_folder_;
    std::string side_;  // for sessions a crash left unclosed
    int scan_;
};
