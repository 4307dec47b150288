// The database half of the main window: the list of recorded databases
// ("Данные", window id 3) with the catalogue behind it, and the commands on
// them: "Обновить список баз" (13), "Просмотр базы" (14), "Удаление базы"
// (15), "Архивация базы" (16), "Заменить борт" (17), "Заменить код сеанса"
// (18) and "Отчёт о покрытии" (20), on the menu "Обработка" and the list's
// popup menu alike.
//
// The catalogue decides what is listed: each database folder once, however
// it was learnt of (a scan, a recording's close); the list mirrors it. Rows
// of a scan join in batches a few times a second, so thousands cost a few
// redraws; a recording's session shows at once. Commands that change a
// database run only while the station is idle (the window's rule) and on a
// row still listed once their dialogs have closed; the report only reads,
// and runs while recording too.
//
// Before a command changes, zips or shows a database, the hooks let the
// fleet store's upload let go of it, and hear after what became of it.
//
// The window owns the pane and the list (a child window of its own).
// User-interface thread only.
#pragma once

#include "app/command_table.h"
#include "database/ldb_info.h"
#include "runtime/app_link.h"
#include "runtime/worker_threads.h"

#include <wx/event.h>
#include <wx/timer.h>
#include <wx/window.h>

#include <functional>
#include <vector>

class database_list;

class database_pane : public wxEvtHandler {
  public:
    // What the commands tell whoever else works on a database (the fleet
    // store's uploads). Empty members are not called.
    struct hooks {
        // Before the command touches the database: true when `path` was
        // being worked on (it is let go of now).
        std::function<bool(const wxString& path)> let_go;
        // After: `had` as let_go answered, `changed` when its record changed.
        std::function<void(const wxString& path, bool had, bool changed)> after;
        std::function<void(const wxString& path)> deleted;
    };

    // `window`: the dialogs' parent; `workers`: where the scans run (the
    // window's, outliving the pane); `idle`: no acquisition runs.
    database_pane(wxWindow* window, const app_link_ptr& link, worker_threads& workers,
                  std::function<bool()> idle);
    ~database_pane() override;

    void add_commands(command_table& commands);
    void set_hooks(hooks h) { hooks_ = std::move(h); }
    // The items of "Обработка" and of the list's popup menu, in order (0: a separator).
    static const std::vector<int>& menu_items();

    // Creates the list as a child of `parent`.
    database_list* create_list(wxWindow* parent);
    database_list* list() const { return list_; }

    // Clears the catalogue and the list and scans the write folder again.
    void reload();
    // A database the scan or a recording reports (evt_db_list).
    void on_db_list(wxThreadEvent& event);

    // Writes the coverage report of the catalogued database at `database` to
    // `file`; a failure (the database in use, the file not writable) is a
    // red journal row. True when written.
    bool write_coverage_report(const wxString& database, const wxString& file);

  private:
    bool row_selected() const;
    // The rule of the commands that change a database: idle, a row selected.
    bool may_change() const;
    // After a dialog: still idle, and `path` still catalogued.
    bool may_still_change(const wxString& path) const;

    void view_selected();
    void delete_selected();
    void archive_selected();
    void replace_side_of_selected();
    void replace_session_of_selected();
    void report_on_selected();
    // Shows the catalogue's record of `path` in its row again.
    void show_changed(const wxString& path);
    void show_arriving_rows();
    // Runs `command` on `path` between the hooks.
    void with_hooks(const wxString& path, bool changes, const std::function<void()>& command);

    wxWindow* window_;
    app_link_ptr link_;
    worker_threads& workers_;
    std::function<bool()> idle_;
    database_list* list_ = nullptr;
    // Rows of the current scan not yet listed.
    std::vector<ldb_entry> arriving_rows_;
    wxTimer arriving_timer_;
    hooks hooks_;
};
