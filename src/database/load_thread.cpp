#include "database/load_thread.h"

#include "runtime/configuration.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "database/session_repair.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"

#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>

load_thread::load_thread(const app_link_ptr& link)
    : wxThread(wxTHREAD_DETACHED),
      link_(link),
      write_folder_(link->read_text(cfg::write_path, cfg::write_path_default())),
      side_(to_narrow(link->read_text(cfg::side, cfg::side_default))) {}

wxString load_thread::disk_space_text(const wxString& volume, uint64_t total, uint64_t free) {
    return wxString::Format(L"Диск: %s: Всего: %zu GB Cвободно: %zu GB", volume,
                            static_cast<size_t>(total >> 30), static_cast<size_t>(free >> 30));
}

wxThread::ExitCode load_thread::Entry() {
    try {
        scan();
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
    } catch (...) {
        link_->post_error("Unknown exception in database loading thread");
    }
    return 0;
}

void load_thread::scan() {
    wxDir dir(write_folder_);
    if (!dir.IsOpened() || !dir.HasSubDirs()) return;
    wxString name;
    for (bool more = dir.GetFirst(&name, "*", wxDIR_DIRS); more; more = dir.GetNext(&name)) {
        wxFileName folder = wxFileName::DirName(write_folder_);
        folder.AppendDir(name);
        const wxString path = folder.GetPath(wxPATH_GET_VOLUME, wxPATH_NATIVE);
        const std::string narrow = to_narrow(path);
        // A folder without a store was never a database; the one being
        // recorded joins the catalogue when its recording closes it.
        if (!holds_store(narrow)) continue;
        if (ldb_writer::live().is_open() && ldb_writer::live().path() == narrow) continue;
        try {
            const session_repair repair = finish_unclosed_session(narrow, side_);
            if (repair.result == session_repair::not_a_session) continue;
            if (repair.result == session_repair::finished) {
                link_->post_info(wxString::Format(L"Незакрытый сеанс %s завершен: кадров %llu",
                                                  path,
                                                  static_cast<unsigned long long>(repair.count)));
            }
            ldb_reader reader(narrow);
            wxThreadEvent event(evt_db_list, wxID_ANY);
            event.SetString(path);
            event.SetPayload(reader.read_info());
            link_->post(event);
        } catch (const std::exception& e) {
            link_->post_error(from_narrow(e.what()));
        }
    }
    wxDiskspaceSize_t total = 0, free = 0;
    if (wxGetDiskSpace(write_folder_, &total, &free)) {
        const wxString volume = wxFileName::DirName(write_folder_).GetVolume();
        link_->post(evt_thread_status, disk_space_text(volume, total.GetValue(), free.GetValue()),
                    field_disk);
    } else {
        link_->post_error(L"Не удалось определить свободное место на диске");
    }
}
