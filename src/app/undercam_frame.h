// The station's only top-level window and the hub of the program: it owns the
// camera factory, the open camera, the active acquisition mode, the
// configuration and the journal, offers the operator's commands, and is the
// single receiver of the worker threads' events. Its construction is the
// whole start-up, its destruction the whole shutdown.
//
// Every member runs on the user-interface thread. Workers reach the window
// only through link(), which stops delivering when destruction begins.
#pragma once

#include "runtime/app_link.h"
#include "camera/camera_discovery.h"
#include "acquisition/frame_source.h"
#include "camera/JAI_Camera.h"
#include "database/ldb_info.h"

#include <wx/aui/aui.h>
#include <wx/choice.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <wx/frame.h>
#include <wx/menu.h>
#include <wx/timer.h>

#include <memory>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

class live_coverage;
class log_viewer;
class station_status_bar;
class VImagePanel;
class database_list;

// Window and command identifiers shared by menu items, tools and controls.
enum command_id {
    id_journal = 1,
    id_camera_view = 2,
    id_database_list = 3,
    id_camera_choice = 4,
    id_exposure_choice = 5,
    id_settings = 6,
    id_exit = 7,
    id_refresh_cameras = 8,
    id_capture = 9,
    id_capture_write = 10,
    id_stop = 11,
    id_session_code = 12,
    id_reload_databases = 13,
    id_view_database = 14,
    id_delete_database = 15,
    id_archive_database = 16,
    id_replace_side = 17,
    id_replace_session = 18,
    id_dpp_test = 19,
    id_coverage_report = 20,
};

class undercam_frame : public wxFrame {
  public:
    undercam_frame();
    ~undercam_frame() override;

    const app_link_ptr& link() const { return link_; }

    void refresh_camera_list();
    void start_capture();
    void start_recording();
    void stop_acquisition();

    // Writes the coverage report of the catalogued database at `database` to
    // `file`; a failure (the database in use, the file not writable) is a
    // red journal row. True when written.
    bool write_coverage_report(const wxString& database, const wxString& file);

  private:
    // The start-up after the configuration: menus, journal, banner, cameras,
    // bars and the service threads.
    void start_up();
    void create_menus();
    void create_panes();
    void write_banner();
    void create_bars();
    void start_services();

    // The camera choice's items: the camera map's descriptions, in its order.
    void show_camera_descriptions();
    void select_camera(const std::string& description);
    void select_exposure_mode(const wxString& mode);
    void reload_catalogue();
    // The ruler settings, for the live view.
    void apply_view_settings();
    wxString write_path() const;
    bool idle() const { return !active_mode_; }
    bool recording() const { return active_mode_ && active_mode_->is_recording(); }
    bool database_selected() const;
    // Idle, and `path` (the selected row's when the command began) is still listed.
    bool database_command_allowed(const wxString& path) const;

    // Commands.
    void on_settings(wxCommandEvent&);
    void on_exit(wxCommandEvent&);
    void on_refresh_cameras(wxCommandEvent&);
    void on_capture(wxCommandEvent&);
    void on_capture_write(wxCommandEvent&);
    void on_stop(wxCommandEvent&);
    void on_session_code(wxCommandEvent&);
    void on_reload_databases(wxCommandEvent&);
    void on_view_database(wxCommandEvent&);
    void on_database_command(wxCommandEvent&);
    void delete_selected(const wxString& path);
    void archive_selected(const wxString& path);
    void on_dpp_test(wxCommandEvent&);
    void on_camera_choice(wxCommandEvent&);
    void on_exposure_choice(wxCommandEvent&);
    void on_context_menu(wxContextMenuEvent&);
    void on_update_ui(wxUpdateUIEvent&);

    // Thread events.
    void on_stream_info(wxThreadEvent&);
    void on_dpp_status(wxThreadEvent&);
    void on_thread_status(wxThreadEvent&);
    void on_grab_stats(wxThreadEvent&);
    void on_log_error(wxThreadEvent&);
    void on_log_info(wxThreadEvent&);
    void on_rc_command(wxThreadEvent&);
    void on_db_list(wxThreadEvent&);
    void on_coverage(wxThreadEvent&);
    void on_coverage_report(wxCommandEvent&);
    void show_arriving_rows();

    FACTORY_HANDLE factory_ = nullptr;
    std::unique_ptr<wxAuiManager> layout_;
    wxFileName journal_file_;
    wxChoice* camera_choice_ = nullptr;
    log_viewer* journal_ = nullptr;
    VImagePanel* camera_view_ = nullptr;
    live_coverage* live_coverage_ = nullptr;
    database_list* databases_ = nullptr;
    camera_ptr camera_;
    wxString exposure_mode_;
    camera_map cameras_;
    wxFileName config_file_;
    std::unique_ptr<wxFileConfig> config_;
    app_link_ptr link_;
    std::shared_ptr<frame_source> active_mode_;
    wxMenu capture_menu_;
    wxMenu database_menu_;
    wxChoice* exposure_choice_ = nullptr;
    station_status_bar* status_bar_ = nullptr;
    std::string camera_description_;  // of the open camera, as the camera choice shows it
    // The write folder changed while an acquisition ran: the list follows at its stop.
    bool reload_after_stop_ = false;
    // Rows of the current scan not yet in the list: they join it together,
    // a few times a second, so thousands cost a few redraws.
    std::vector<ldb_entry> arriving_rows_;
    wxTimer arriving_timer_;
    cv::Mat preview_;
    cv::Mat preview_rgb_;

    wxDECLARE_EVENT_TABLE();
};
