// The station's only top-level window and the hub of the program: it owns the
// camera factory, the active acquisition mode, the configuration and the
// journal, lays out the panes, decides which command may run, and is the
// single receiver of the worker threads' events. Its construction is the
// whole start-up, its destruction the whole shutdown.
//
// Its jobs beyond that are delegated: the camera controls (camera_controls)
// keep the cameras and the tool bar's choices, the database pane
// (database_pane) the list of recorded databases and the commands on them,
// the fleet pane (fleet_pane) the uploads to the fleet store.
// The window holds the acquisition commands, the settings, the odometer test
// and the remote commands itself. Every command is in one table with the
// rule that says when it may run, and runs inside the one error boundary
// (run_guarded): a failure is a red journal row, never a message box.
//
// Every member runs on the user-interface thread. Workers reach the window
// only through link(), which stops delivering when destruction begins.
#pragma once

#include "acquisition/frame_source.h"
#include "app/command_ids.h"
#include "app/command_table.h"
#include "camera/sdk/Jai_Factory.h"
#include "runtime/app_link.h"
#include "runtime/worker_threads.h"

#include <wx/aui/aui.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/menu.h>

#include <memory>
#include <opencv2/core.hpp>

class camera_controls;
class database_pane;
class fleet_pane;
class live_coverage;
class log_viewer;
class station_status_bar;
class VImagePanel;

class undercam_frame : public wxFrame {
  public:
    undercam_frame();
    ~undercam_frame() override;

    const app_link_ptr& link() const { return link_; }
    database_pane& databases() const { return *databases_; }
    camera_controls& cameras() const { return *cameras_; }

    void start_capture();
    void start_recording();
    void stop_acquisition();

  private:
    // The start-up after the configuration: menus, journal, banner, cameras,
    // bars and the service threads.
    void start_up();
    void add_commands();
    void create_menus();
    void create_panes();
    void write_banner();
    void create_bars();
    // The menu bar and the tool bar, hidden until the window is wider than
    // a few pixels.
    void show_bars_when_wide();
    void start_services();

    // The ruler settings, for the live view.
    void apply_view_settings();
    wxString write_path() const;
    bool idle() const { return !active_mode_; }
    bool recording() const { return active_mode_ && active_mode_->is_recording(); }

    // Commands of the window's own.
    void change_settings();
    void enter_session_code();
    void test_odometer();
    void run_remote_command(int code, const wxString& text);

    // Event handlers: every menu item and tool, the choices, the popup
    // menus, the enabled states.
    void on_command(wxCommandEvent& event);
    void on_choice(wxCommandEvent& event);
    void on_context_menu(wxContextMenuEvent& event);
    void on_update_ui(wxUpdateUIEvent& event);

    // Thread events.
    void on_stream_info(wxThreadEvent& event);
    void on_dpp_status(wxThreadEvent& event);
    void on_thread_status(wxThreadEvent& event);
    void on_grab_stats(wxThreadEvent& event);
    void on_log_error(wxThreadEvent& event);
    void on_log_info(wxThreadEvent& event);
    void on_rc_command(wxThreadEvent& event);
    void on_db_list(wxThreadEvent& event);
    void on_coverage(wxThreadEvent& event);
    void on_fleet_state(wxThreadEvent& event);
    void on_fleet_progress(wxThreadEvent& event);
    void on_fleet_deletable(wxThreadEvent& event);

    FACTORY_HANDLE factory_ = nullptr;
    std::unique_ptr<wxAuiManager> layout_;
    wxFileName journal_file_;
    log_viewer* journal_ = nullptr;
    VImagePanel* camera_view_ = nullptr;
    live_coverage* live_coverage_ = nullptr;
    wxFileName config_file_;
    std::unique_ptr<wxFileConfig> config_;
    app_link_ptr link_;
    // The services and the database scans; joined once the link is detached.
    worker_threads workers_;
    std::shared_ptr<frame_source> active_mode_;
    command_table commands_;
    std::unique_ptr<camera_controls> cameras_;
    std::unique_ptr<database_pane> databases_;
    // Joined after the workers: the link's detach() has stopped its thread.
    std::unique_ptr<fleet_pane> fleet_;
    wxMenu capture_menu_;
    wxMenu database_menu_;
    station_status_bar* status_bar_ = nullptr;
    // The write folder changed while an acquisition ran: the list follows at its stop.
    bool reload_after_stop_ = false;
    cv::Mat preview_;
    cv::Mat preview_rgb_;

    wxDECLARE_EVENT_TABLE();
};
