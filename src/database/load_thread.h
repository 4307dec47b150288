// One scan of the write folder ("write_path", read at construction): every
// immediate subfolder that holds a store is opened as a session database and
// reported as evt_db_list with its ldb_info; a folder without a store is no
// database and is passed over; a database that cannot be read becomes one
// evt_log_error and the scan goes on; the disk's total and free space end
// the scan as evt_thread_status for status field 3.
//
// A session a crash left unclosed is finished first, from the frames it
// holds, with one journal row (never the session being recorded now); one
// without a single frame is not a session and is passed over.
//
// Detached: create with new, Run() at once; it deletes itself when done. It
// touches no shared data and reports only through the link.
#pragma once

#include "runtime/app_link.h"

#include <wx/thread.h>

#include <string>

class load_thread : public wxThread {
  public:
    explicit load_thread(const app_link_ptr& link);

    // "Диск: %s: Всего: %zu GB Cвободно: %zu GB" with whole GiB, remainder dropped.
    static wxString disk_space_text(const wxString& volume, uint64_t total, uint64_t free);

  protected:
    ExitCode Entry() override;

  private:
    void scan();

    app_link_ptr link_;
    wxString write_folder_;
    std::string side_;  // for sessions a crash left unclosed
};
