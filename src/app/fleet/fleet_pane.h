// The fleet store's part of the main window: the upload thread and its
// queue, the commands "Выгрузить в хранилище" (the selected session, id 21),
// "Выгрузить все в хранилище" (every listed session not yet stored, 22) and
// "Удалить выгруженные" (23) at the end of the database menus, the list's
// column "Хранилище" and the status bar's fleet field. While the fleet store
// is off (fleet_enabled, or settings it cannot use), the items, the column
// and the field are hidden and no thread runs.
//
// The database pane asks it before a command changes, zips or shows a
// database (let_go), and tells it after (changed, deleted): the upload lets
// go at once, a relabelled session goes up again (only its manifest
// changes), a deleted one has its unfinished chunks removed.
//
// The window owns the pane; the thread is joined when the pane goes (the
// link's detach() has stopped it by then). User-interface thread only.
#pragma once

#include "app/command_table.h"
#include "fleet/fleet_settings.h"
#include "runtime/app_link.h"

#include <wx/event.h>
#include <wx/menu.h>
#include <wx/thread.h>

#include <memory>
#include <vector>

class database_list;
class station_status_bar;
class upload_queue;

class fleet_pane {
  public:
    // `idle`: no acquisition runs (the rule of deleting).
    fleet_pane(wxWindow* window, const app_link_ptr& link, std::function<bool()> idle);
    ~fleet_pane();

    void add_commands(command_table& commands);
    // The menus the items go to while the store is on, built from `commands`.
    void set_views(database_list* list, station_status_bar* bar, std::vector<wxMenu*> menus,
                   const command_table* commands);

    // Reads the fleet settings and starts, stops or restarts the uploads to
    // match them (at start and after the settings dialog).
    void apply_settings();
    bool running() const { return thread_ != nullptr; }

    // A recording closed the session: it goes up.
    void session_closed(const wxString& path);
    // Before a command on `path`: the upload lets go of it. Returns whether
    // it had the session queued or in progress.
    bool let_go(const wxString& path);
    // After a command on `path` that changed its record (or, with
    // `changed` false, only read it); `had` is what let_go() answered.
    void after_command(const wxString& path, bool had, bool changed);
    void deleted(const wxString& path);

    void on_state(wxThreadEvent& event);
    void on_progress(wxThreadEvent& event);
    void on_deletable(wxThreadEvent& event);

  private:
    void start(const fleet_settings& settings);
    void stop();
    void show(bool on);
    void queue_upload(const wxString& path);
    void upload_selected();
    void upload_all();
    void delete_stored();

    wxWindow* window_;
    app_link_ptr link_;
    std::function<bool()> idle_;
    database_list* list_ = nullptr;
    station_status_bar* bar_ = nullptr;
    std::vector<wxMenu*> menus_;
    const command_table* commands_ = nullptr;
    fleet_settings running_;
    std::shared_ptr<upload_queue> queue_;
    std::unique_ptr<wxThread> thread_;
    // Folders the operator chose to delete, waiting for the store's word.
    std::vector<wxString> to_delete_;
};
