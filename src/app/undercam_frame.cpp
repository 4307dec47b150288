#include "app/undercam_frame.h"

#include "acquisition/continuous_grab.h"
#include "acquisition/continuous_grab_write.h"
#include "app/build_info.h"
#include "app/camera/camera_controls.h"
#include "app/camera/live_coverage.h"
#include "app/command_boundary.h"
#include "app/database/VImagePanel.h"
#include "app/database/database_list.h"
#include "app/database/database_pane.h"
#include "app/fleet/fleet_pane.h"
#include "app/log_viewer.h"
#include "app/station_status_bar.h"
#include "app/tool_art.h"
#include "app/undercam_options.h"
#include "database/coverage.h"
#include "database/ldb_info.h"
#include "database/load_thread.h"
#include "recording/odometer_test.h"
#include "runtime/configuration.h"
#include "runtime/journal.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"
#include "services/discovery_service.h"
#include "services/img_service.h"
#include "services/rc_protocol.h"
#include "services/rc_service.h"

#include <wx/sizer.h>
#include <wx/socket.h>
#include <wx/textdlg.h>
#include <wx/toolbar.h>
#include <wx/utils.h>
#include <wx/version.h>

#include <opencv2/core/version.hpp>
#include <opencv2/imgproc.hpp>

#include <ctime>
#include <stdexcept>

wxBEGIN_EVENT_TABLE(undercam_frame, wxFrame)
    EVT_MENU_RANGE(id_settings, id_last_command, undercam_frame::on_command)
    EVT_CHOICE(id_camera_choice, undercam_frame::on_choice)
    EVT_CHOICE(id_exposure_choice, undercam_frame::on_choice)
    EVT_CONTEXT_MENU(undercam_frame::on_context_menu)
    EVT_UPDATE_UI_RANGE(id_camera_choice, id_last_command, undercam_frame::on_update_ui)
wxEND_EVENT_TABLE()

namespace {

std::string sdk_version() {
    char text[512] = {};
    uint32_t size = sizeof(text);
    J_Factory_GetInfo(FAC_INFO_VERSION, text, &size);  // its result is of no consequence
    text[sizeof(text) - 1] = '\0';
    return text;
}

wxString host_address(const wxString& host) {
    wxIPV4address address;
    if (!address.Hostname(host)) return wxEmptyString;
    return address.IPAddress();
}

// Narrower than any real window: while the window manager tells GTK the
// size of its frame, a new window is shown once more for a moment a few
// pixels wide, and a menu bar or tool bar laid out that narrow makes GTK
// print warnings.
constexpr int kNarrowestBars = 100;

}  // namespace

undercam_frame::undercam_frame()
    : wxFrame(nullptr, 0, L"Подвагонные камеры", wxDefaultPosition, wxDefaultSize,
              wxDEFAULT_FRAME_STYLE | wxMAXIMIZE) {
    if (J_Factory_Open("", &factory_) != J_ST_SUCCESS) {
        factory_ = nullptr;
        throw std::runtime_error("Error opening JAI factory.");
    }
    layout_ = std::make_unique<wxAuiManager>(
        this, wxAUI_MGR_ALLOW_FLOATING | wxAUI_MGR_TRANSPARENT_HINT | wxAUI_MGR_LIVE_RESIZE);
    SetIcon(station_icon());

    Bind(evt_stream_info, &undercam_frame::on_stream_info, this);
    Bind(evt_dpp_status, &undercam_frame::on_dpp_status, this);
    Bind(evt_thread_status, &undercam_frame::on_thread_status, this);
    Bind(evt_grab_stats, &undercam_frame::on_grab_stats, this);
    Bind(evt_log_error, &undercam_frame::on_log_error, this);
    Bind(evt_log_info, &undercam_frame::on_log_info, this);
    Bind(evt_rc_command, &undercam_frame::on_rc_command, this);
    Bind(evt_db_list, &undercam_frame::on_db_list, this);
    Bind(evt_coverage, &undercam_frame::on_coverage, this);
    Bind(evt_fleet_state, &undercam_frame::on_fleet_state, this);
    Bind(evt_fleet_progress, &undercam_frame::on_fleet_progress, this);
    Bind(evt_fleet_deletable, &undercam_frame::on_fleet_deletable, this);

    const wxString home = wxFileName::GetHomeDir();
    config_file_ = configuration_file_name(home);
    if (!make_configuration_folder(config_file_)) {
        log_error(wxString::Format(L"Не удается создать папку с файлами настройки [%s]",
                                   config_file_.GetPath()));
    }
    config_ = open_configuration(config_file_);
    link_ = std::make_shared<app_link>(this, config_.get());
    try {
        start_up();
    } catch (...) {
        // No worker already started may reach a window that will not exist,
        // and the camera layer is closed as the destructor would.
        link_->detach();
        workers_.join_all();
        fleet_.reset();
        layout_->UnInit();
        if (cameras_) cameras_->release();
        if (factory_) J_Factory_Close(factory_);
        factory_ = nullptr;
        throw;
    }
}

void undercam_frame::start_up() {
    const wxString home = wxFileName::GetHomeDir();
    add_commands();
    create_menus();

    wxFileName log_folder(home, wxEmptyString);
    log_folder.AppendDir("Dunmere");
    log_folder.AppendDir("log");
    const std::time_t start = std::time(nullptr);
    journal_file_ = wxFileName(log_folder.GetPath(),
                               journal_file_name(static_cast<uint32_t>(start), wxGetProcessId()));
    if (log_folder.DirExists() ||
        wxFileName::Mkdir(log_folder.GetPath(), 0777, wxPATH_MKDIR_FULL)) {
        cleanup_old_journals(log_folder.GetPath(), std::time(nullptr));
    } else {
        throw std::runtime_error(to_narrow(wxString::Format(
            L"Не удается создать папку с файлами журналов [%s]", log_folder.GetPath())));
    }

    create_panes();
    write_banner();
    cameras_->refresh_camera_list();
    create_bars();
    cameras_->open_preferred_camera();
    start_services();
    link_->with_config([this](wxConfigBase& config) { protect_secrets(config, config_file_); });
    fleet_->apply_settings();
}

undercam_frame::~undercam_frame() {
    // From here on no worker delivers an event or reads the configuration.
    link_->detach();
    workers_.join_all();
    fleet_.reset();
    layout_->UnInit();
    config_.reset();
    preview_.release();
    active_mode_.reset();
    cameras_->release();
    layout_.reset();
    if (factory_) J_Factory_Close(factory_);
}

void undercam_frame::add_commands() {
    const auto idle = [this] { return this->idle(); };
    cameras_ = std::make_unique<camera_controls>(factory_, link_, idle);
    databases_ = std::make_unique<database_pane>(this, link_, workers_, idle);
    fleet_ = std::make_unique<fleet_pane>(this, link_, idle);
    databases_->set_hooks({[this](const wxString& path) { return fleet_->let_go(path); },
                           [this](const wxString& path, bool had, bool changed) {
                               fleet_->after_command(path, had, changed);
                           },
                           [this](const wxString& path) { fleet_->deleted(path); }});
    const auto can_start = [this] { return this->idle() && cameras_->camera(); };
    commands_.add(id_settings, L"Настройки", idle, [this] { change_settings(); });
    commands_.add(id_exit, L"Выход", {}, [this] { Close(true); });
    commands_.add(id_capture, L"Захват", can_start, [this] { start_capture(); });
    commands_.add(id_capture_write, L"Захват и запись", can_start, [this] { start_recording(); });
    commands_.add(
        id_stop, L"Остановить", [this] { return !this->idle(); }, [this] { stop_acquisition(); });
    commands_.add(
        id_session_code, L"Ввести код текущего сеанса", [this] { return recording(); },
        [this] { enter_session_code(); });
    commands_.add(id_dpp_test, L"Тест ДПП", {}, [this] { test_odometer(); });
    cameras_->add_commands(commands_);
    databases_->add_commands(commands_);
    fleet_->add_commands(commands_);
}

void undercam_frame::create_menus() {
    auto* file = new wxMenu;
    commands_.append_items(*file, {id_settings, id_exit});
    auto* camera = new wxMenu;
    commands_.append_items(
        *camera, {id_capture, id_capture_write, id_stop, 0, id_refresh_cameras, id_session_code});
    auto* processing = new wxMenu;
    commands_.append_items(*processing, database_pane::menu_items());
    auto* tools = new wxMenu;
    commands_.append_items(*tools, {id_dpp_test});

    auto* bar = new wxMenuBar;
    bar->Append(file, L"Файл");
    bar->Append(camera, L"Камера");
    bar->Append(processing, L"Обработка");
    bar->Append(tools, L"Инструменты");
    SetMenuBar(bar);

    commands_.append_items(capture_menu_, {id_capture, id_capture_write, id_stop, id_session_code});
    commands_.append_items(database_menu_, database_pane::menu_items());
}

void undercam_frame::create_panes() {
    // The live view with the running session's coverage under it.
    auto* live = new wxPanel(this, wxID_ANY);
    camera_view_ = new VImagePanel(live, id_camera_view);
    camera_view_->set_fit_to_window(true);
    camera_view_->SetMinSize(wxSize(640, 480));
    live_coverage_ = new live_coverage(live);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(camera_view_, 1, wxEXPAND);
    column->Add(live_coverage_, 0, wxEXPAND);
    live->SetSizer(column);
    const wxSize live_size = column->GetMinSize();
    apply_view_settings();
    journal_ = new log_viewer(this, journal_file_.GetFullPath());
    database_list* list = databases_->create_list(this);

    layout_->AddPane(live, wxAuiPaneInfo()
                               .Name("camera")
                               .Caption(L"Камера")
                               .Top()
                               .BestSize(live_size)
                               .MinSize(live_size)
                               .Fixed()
                               .CloseButton(false)
                               .Floatable(false));
    layout_->AddPane(journal_, wxAuiPaneInfo()
                                   .Name("journal")
                                   .Caption(L"Журнал")
                                   .CenterPane()
                                   .CaptionVisible(true)
                                   .CloseButton(false)
                                   .Floatable(false));
    layout_->AddPane(list, wxAuiPaneInfo()
                               .Name("databases")
                               .Caption(L"Данные")
                               .Top()
                               .Position(1)
                               .BestSize(640, 480)
                               .Resizable()
                               .CloseButton(false)
                               .Floatable(false));
    layout_->Update();
}

void undercam_frame::write_banner() {
    log_info(wxString::Format(L"Начало работы. Версия: %s hash: %s", UNDERCAM_VERSION_TEXT,
                              UNDERCAM_BUILD_HASH));
    log_info(wxString::Format(L"JAI %s", from_narrow(sdk_version())));
    log_info(wxString::Format(L"OpenCV %s", CV_VERSION));
    log_info(wxGetLibraryVersionInfo().GetVersionString());
    const wxString host = wxGetHostName();
    log_info(wxString::Format(L"Компьютер: %s (%s)", host, host_address(host)));
    log_info(wxString::Format(L"ОС: %s", wxGetOsDescription()));
    wxString side = cfg::side_unknown;
    link_->with_config([&](wxConfigBase& config) { config.Read(cfg::side, &side); });
    log_info(wxString::Format(L"Борт: %s", side));
}

void undercam_frame::create_bars() {
    status_bar_ = new station_status_bar(this);
    SetStatusBar(status_bar_);

    wxToolBar* bar = CreateToolBar();
    bar->SetToolBitmapSize(wxSize(24, 24));
    bar->AddTool(id_capture, L"Камера", camera_tool_image());
    bar->AddTool(id_settings, L"Настройки", settings_tool_image());
    bar->AddTool(id_exit, L"Выход", exit_tool_image());
    cameras_->add_tools(bar);
    bar->Realize();
    show_bars_when_wide();
    fleet_->set_views(
        databases_->list(), status_bar_,
        {GetMenuBar()->GetMenu(GetMenuBar()->FindMenu(L"Обработка")), &database_menu_}, &commands_);
}

void undercam_frame::show_bars_when_wide() {
    GetMenuBar()->Hide();
    GetToolBar()->Hide();
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        if (GetToolBar()->IsShown()) return;
        CallAfter([this] {
            if (GetToolBar()->IsShown() || GetSize().x < kNarrowestBars) return;
            GetMenuBar()->Show();
            GetToolBar()->Show();
            SendSizeEvent();
        });
    });
}

void undercam_frame::start_services() {
    // Each ends by itself, or is stopped through the link when the window goes.
    const char* failure = "Error starting a service thread";
    workers_.run(std::make_unique<load_thread>(link_), failure);
    workers_.run(std::make_unique<img_service>(link_), failure);
    workers_.run(std::make_unique<discovery_service>(link_), failure);
    if (link_->read_bool(cfg::rc_service_enabled, cfg::rc_service_enabled_default)) {
        workers_.run(std::make_unique<rc_service>(link_), failure);
    }
}

void undercam_frame::start_capture() {
    if (!idle() || !cameras_->camera()) return;
    active_mode_ = std::make_shared<continuous_grab>(link_, cameras_->camera());
}

void undercam_frame::start_recording() {
    if (!idle() || !cameras_->camera()) return;
    active_mode_ =
        std::make_shared<continuous_grab_write>(link_, cameras_->camera(), std::string());
}

void undercam_frame::stop_acquisition() {
    active_mode_.reset();
    status_bar_->set_faults(0);
    if (reload_after_stop_) {
        reload_after_stop_ = false;
        databases_->reload();
    }
}

void undercam_frame::apply_view_settings() {
    camera_view_->set_scale(link_->read_double(cfg::scale, cfg::scale_default));
    camera_view_->show_ruler(link_->read_bool(cfg::show_scale, cfg::show_scale_default));
    camera_view_->Refresh(false);
}

wxString undercam_frame::write_path() const {
    return link_->read_text(cfg::write_path, cfg::write_path_default());
}

void undercam_frame::change_settings() {
    const wxString before = write_path();
    undercam_options dialog(this, link_);
    if (dialog.ShowModal() != wxID_OK) return;
    link_->with_config([](wxConfigBase& config) { config.Flush(false); });
    link_->with_config([this](wxConfigBase& config) { protect_secrets(config, config_file_); });
    fleet_->apply_settings();
    apply_view_settings();
    const bool moved = write_path() != before;
    if (idle()) {
        if (moved) databases_->reload();
        return;
    }
    // A recording started while the dialog was open keeps what it began with.
    if (moved) {
        reload_after_stop_ = true;
        log_info(
            wxString(L"Настройки сохранены и вступят в силу со следующей записи; "
                     L"список баз будет обновлен после остановки"));
    } else {
        log_info(wxString(L"Настройки сохранены и вступят в силу со следующей записи"));
    }
}

void undercam_frame::enter_session_code() {
    const std::shared_ptr<frame_source> mode = active_mode_;
    wxTextEntryDialog dialog(this, L"Введите код сеанса", L"Код сеанса",
                             from_narrow(mode->get_session_code()), wxOK | wxCANCEL | wxCENTRE);
    // The code is for the recording the dialog was opened on, if it still runs.
    if (dialog.ShowModal() == wxID_OK && active_mode_ == mode && recording()) {
        mode->set_session_code(to_narrow(dialog.GetValue()));
    }
}

void undercam_frame::test_odometer() {
    for (const auto& line : run_odometer_test(odometer_test_ports())) {
        log_info(wxString::FromUTF8(line));
    }
}

void undercam_frame::run_remote_command(int code, const wxString& text) {
    switch (code) {
        case rc_start_recording:
            start_recording();
            break;
        case rc_stop:
            stop_acquisition();
            break;
        case rc_new_session:
            log_info(text);
            if (active_mode_ && cameras_->camera()) {
                active_mode_->restart_recording(link_, to_narrow(text));
            }
            break;
        default:
            log_info(wxString("Empty RC command"));
    }
}

void undercam_frame::on_command(wxCommandEvent& event) {
    if (!commands_.has(event.GetId())) {
        event.Skip();
        return;
    }
    commands_.run(event.GetId());
}

void undercam_frame::on_choice(wxCommandEvent& event) {
    const wxString chosen = event.GetString();
    if (event.GetId() == id_camera_choice) {
        run_guarded([&] { cameras_->on_camera_choice(chosen); });
    } else {
        run_guarded([&] { cameras_->on_exposure_choice(chosen); });
    }
}

void undercam_frame::on_context_menu(wxContextMenuEvent& event) {
    for (auto* w = wxDynamicCast(event.GetEventObject(), wxWindow); w && w != this;
         w = w->GetParent()) {
        wxMenu* menu = w->GetId() == id_camera_view     ? &capture_menu_
                       : w->GetId() == id_database_list ? &database_menu_
                                                        : nullptr;
        if (w->GetId() == id_journal) return;
        if (menu) {
            const wxPoint at = event.GetPosition() == wxDefaultPosition
                                   ? wxDefaultPosition
                                   : ScreenToClient(event.GetPosition());
            PopupMenu(menu, at);
            return;
        }
    }
}

void undercam_frame::on_update_ui(wxUpdateUIEvent& event) {
    event.Enable(commands_.allowed(event.GetId()));
}

void undercam_frame::on_stream_info(wxThreadEvent& event) {
    if (!active_mode_) return;
    copy_gray8(active_mode_->get_frame_buffer(), preview_);
    if (!preview_.empty()) {
        cv::cvtColor(preview_, preview_rgb_, cv::COLOR_GRAY2RGB);
        camera_view_->set_image(
            wxImage(preview_rgb_.cols, preview_rgb_.rows, preview_rgb_.data, true));
    }
    SetStatusText(event.GetString(), field_stream_info);
}

void undercam_frame::on_dpp_status(wxThreadEvent& event) {
    if (!event.GetString().empty()) SetStatusText(event.GetString(), field_recording);
    // Events of a recording that has stopped since arrive after the stop: it
    // has no faults left to show.
    status_bar_->set_faults(recording() ? event.GetInt() : 0);
}

void undercam_frame::on_thread_status(wxThreadEvent& event) {
    SetStatusText(event.GetString(), field_disk);
}

void undercam_frame::on_grab_stats(wxThreadEvent& event) {
    SetStatusText(event.GetString(), field_grab_stats);
}

void undercam_frame::on_log_error(wxThreadEvent& event) {
    log_error(event.GetString());
}

void undercam_frame::on_log_info(wxThreadEvent& event) {
    log_info(event.GetString());
}

void undercam_frame::on_rc_command(wxThreadEvent& event) {
    const int code = event.GetInt();
    const wxString text = event.GetString();
    run_guarded([&] { run_remote_command(code, text); });
}

void undercam_frame::on_db_list(wxThreadEvent& event) {
    databases_->on_db_list(event);
    if (event.GetInt() == 0) fleet_->session_closed(event.GetString());  // a recording's
}

void undercam_frame::on_fleet_state(wxThreadEvent& event) {
    fleet_->on_state(event);
}

void undercam_frame::on_fleet_progress(wxThreadEvent& event) {
    fleet_->on_progress(event);
}

void undercam_frame::on_fleet_deletable(wxThreadEvent& event) {
    fleet_->on_deletable(event);
}

void undercam_frame::on_coverage(wxThreadEvent& event) {
    live_coverage_->show(event.GetPayload<coverage>());
}
