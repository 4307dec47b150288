#include "app/undercam_frame.h"

#include "app/build_info.h"
#include "app/live_coverage.h"
#include "database/coverage_report.h"
#include "runtime/configuration.h"
#include "acquisition/continuous_grab.h"
#include "acquisition/continuous_grab_write.h"
#include "database/catalogue.h"
#include "database/database_commands.h"
#include "database/database_list.h"
#include "services/discovery_service.h"
#include "services/img_service.h"
#include "runtime/journal.h"
#include "database/ldb_info.h"
#include "database/load_thread.h"
#include "app/log_viewer.h"
#include "recording/odometer_test.h"
#include "services/rc_service.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"
#include "app/station_status_bar.h"
#include "app/termination.h"
#include "app/tool_art.h"
#include "app/undercam_options.h"
#include "database/viewer_dialog.h"
#include "database/VImagePanel.h"

#include <wx/busyinfo.h>
#include <wx/file.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/filedlg.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/textdlg.h>
#include <wx/socket.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>
#include <wx/utils.h>
#include <wx/version.h>

#include <opencv2/core/version.hpp>
#include <opencv2/imgproc.hpp>

#include <ctime>
#include <stdexcept>

// clang-format off
wxBEGIN_EVENT_TABLE(undercam_frame, wxFrame)
    EVT_MENU(id_settings, undercam_frame::on_settings)
    EVT_MENU(id_exit, undercam_frame::on_exit)
    EVT_MENU(id_refresh_cameras, undercam_frame::on_refresh_cameras)
    EVT_MENU(id_capture, undercam_frame::on_capture)
    EVT_MENU(id_capture_write, undercam_frame::on_capture_write)
    EVT_MENU(id_stop, undercam_frame::on_stop)
    EVT_MENU(id_session_code, undercam_frame::on_session_code)
    EVT_MENU(id_reload_databases, undercam_frame::on_reload_databases)
    EVT_MENU(id_view_database, undercam_frame::on_view_database)
    EVT_MENU(id_coverage_report, undercam_frame::on_coverage_report)
    EVT_UPDATE_UI(id_coverage_report, undercam_frame::on_update_ui)
    EVT_MENU_RANGE(id_delete_database, id_replace_session, undercam_frame::on_database_command)
    EVT_MENU(id_dpp_test, undercam_frame::on_dpp_test)
    EVT_CHOICE(id_camera_choice, undercam_frame::on_camera_choice)
    EVT_CHOICE(id_exposure_choice, undercam_frame::on_exposure_choice)
    EVT_CONTEXT_MENU(undercam_frame::on_context_menu)
    EVT_UPDATE_UI(id_camera_choice, undercam_frame::on_update_ui)
    EVT_UPDATE_UI_RANGE(id_settings, id_replace_session, undercam_frame::on_update_ui)
wxEND_EVENT_TABLE()
    // clang-format on

    namespace {
    // How long rows of a scan wait to join the list together.
    constexpr int kArrivingRowsMs = 100;

    void fill_database_menu(wxMenu & menu) {
        menu.Append(id_view_database, L"Просмотр базы");
        menu.Append(id_delete_database, L"Удаление базы");
        menu.Append(id_archive_database, L"Архивация базы");
        menu.Append(id_replace_side, L"Заменить борт");
        menu.Append(id_replace_session, L"Заменить код сеанса");
        menu.Append(id_coverage_report, L"Отчёт о покрытии");
        menu.AppendSeparator();
        menu.Append(id_reload_databases, L"Обновить список баз");
    }

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
    arriving_timer_.SetOwner(this);
    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { show_arriving_rows(); }, arriving_timer_.GetId());

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
        layout_->UnInit();
        cameras_.clear();
        camera_.reset();
        if (factory_) J_Factory_Close(factory_);
        factory_ = nullptr;
        throw;
    }
}

void undercam_frame::start_up() {
    const wxString home = wxFileName::GetHomeDir();
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
    refresh_camera_list();
    create_bars();

    exposure_mode_ = link_->read_text(cfg::exposure_mode, cfg::exposure_mode_default);
    exposure_choice_->SetStringSelection(exposure_mode_);

    if (!cameras_.empty()) {
        const wxString driver = link_->read_text(cfg::driver, cfg::driver_default);
        select_camera(choose_camera(cameras_, to_narrow(driver)));
    }
    start_services();
}

undercam_frame::~undercam_frame() {
    // From here on no worker delivers an event or reads the configuration.
    link_->detach();
    layout_->UnInit();
    config_.reset();
    preview_.release();
    active_mode_.reset();
    cameras_.clear();
    camera_.reset();
    layout_.reset();
    if (factory_) J_Factory_Close(factory_);
}

void undercam_frame::create_menus() {
    auto* file = new wxMenu;
    file->Append(id_settings, L"Настройки");
    file->Append(id_exit, L"Выход");

    auto* camera = new wxMenu;
    camera->Append(id_capture, L"Захват");
    camera->Append(id_capture_write, L"Захват и запись");
    camera->Append(id_stop, L"Остановить");
    camera->AppendSeparator();
    camera->Append(id_refresh_cameras, L"Обновить список камер");
    camera->Append(id_session_code, L"Ввести код текущего сеанса");

    auto* processing = new wxMenu;
    fill_database_menu(*processing);

    auto* tools = new wxMenu;
    tools->Append(id_dpp_test, L"Тест ДПП");

    auto* bar = new wxMenuBar;
    bar->Append(file, L"Файл");
    bar->Append(camera, L"Камера");
    bar->Append(processing, L"Обработка");
    bar->Append(tools, L"Инструменты");
    SetMenuBar(bar);

    capture_menu_.Append(id_capture, L"Захват");
    capture_menu_.Append(id_capture_write, L"Захват и запись");
    capture_menu_.Append(id_stop, L"Остановить");
    capture_menu_.Append(id_session_code, L"Ввести код текущего сеанса");
    fill_database_menu(database_menu_);
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
    databases_ = new database_list(this, id_database_list);

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
    layout_->AddPane(databases_, wxAuiPaneInfo()
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
    bar->AddControl(new wxStaticText(bar, wxID_ANY, L" Камера: "));
    camera_choice_ = new wxChoice(bar, id_camera_choice);
    show_camera_descriptions();
    bar->AddControl(camera_choice_);
    bar->AddSeparator();
    bar->AddControl(new wxStaticText(bar, wxID_ANY, L" Выдержка: "));
    wxArrayString modes;
    for (const auto& m : exposure_modes())
        modes.push_back(m);
    exposure_choice_ =
        new wxChoice(bar, id_exposure_choice, wxDefaultPosition, wxDefaultSize, modes);
    bar->AddControl(exposure_choice_);
    bar->Realize();
}

void undercam_frame::start_services() {
    auto run = [](wxThread* thread) {
        if (thread->Run() != wxTHREAD_NO_ERROR) {
            delete thread;
            throw std::runtime_error("Error starting a service thread");
        }
    };
    // Detached: each ends by itself, or is stopped through the link when the window goes.
    run(new load_thread(link_));
    run(new img_service(link_));
    run(new discovery_service(link_));
    if (link_->read_bool(cfg::rc_service_enabled, cfg::rc_service_enabled_default)) {
        run(new rc_service(link_));
    }
}

void undercam_frame::refresh_camera_list() {
    try {
        cameras_ = enumerate_cameras(factory_);
        log_info(wxString::Format("%u camera(s) detected", static_cast<unsigned>(cameras_.size())));
        for (const auto& [description, id] : cameras_)
            log_info(from_narrow(id));
    } catch (const std::exception& e) {
        log_error(std::string(e.what()));
    }
}

void undercam_frame::show_camera_descriptions() {
    camera_choice_->Clear();
    for (const auto& [description, id] : cameras_)
        camera_choice_->Append(from_narrow(description));
    // Wide enough for the whole description; the tool bar makes room.
    camera_choice_->InvalidateBestSize();
    camera_choice_->SetSize(camera_choice_->GetBestSize());
    if (wxToolBar* bar = GetToolBar(); bar && bar->GetToolsCount() > 0) bar->Realize();
}

void undercam_frame::select_camera(const std::string& description) {
    try {
        camera_description_ = description;
        camera_choice_->SetStringSelection(from_narrow(description));
        const auto it = cameras_.find(description);
        if (it == cameras_.end()) return;
        camera_ = JAI_Camera::open(factory_, it->second);
        log_info(wxString::Format("Active camera selected: %s", from_narrow(it->second)));
    } catch (const std::exception& e) {
        log_error(std::string(e.what()));
    }
}

void undercam_frame::select_exposure_mode(const wxString& mode) {
    exposure_mode_ = mode;
    link_->with_config([&](wxConfigBase& config) { config.Write(cfg::exposure_mode, mode); });
    if (camera_) camera_->set_exposure_mode(to_narrow(mode));
    log_info(wxString::Format("Exposure mode selected: %s", mode));
}

void undercam_frame::start_capture() {
    if (!idle() || !camera_) return;
    active_mode_ = std::make_shared<continuous_grab>(link_, camera_);
}

void undercam_frame::start_recording() {
    if (!idle() || !camera_) return;
    active_mode_ = std::make_shared<continuous_grab_write>(link_, camera_, std::string());
}

void undercam_frame::stop_acquisition() {
    active_mode_.reset();
    status_bar_->set_faults(0);
    if (reload_after_stop_) {
        reload_after_stop_ = false;
        reload_catalogue();
    }
}

void undercam_frame::reload_catalogue() {
    arriving_timer_.Stop();
    arriving_rows_.clear();
    catalogue::instance().clear();
    databases_->clear();
    auto* thread = new load_thread(link_);
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        delete thread;
        log_error(wxString(L"Не удалось запустить поток загрузки списка баз"));
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

bool undercam_frame::database_selected() const {
    return databases_ && !databases_->rows().empty() && databases_->selected_row() >= 0;
}

bool undercam_frame::database_command_allowed(const wxString& path) const {
    return idle() && !path.empty() && databases_->has_row(path);
}

// Commands check their own state when they run and again once a dialog they
// showed has closed: the enabled state of a menu item may be stale, and
// remote commands are handled inside a dialog's modal loop.

void undercam_frame::on_settings(wxCommandEvent&) {
    if (!idle()) return;
    const wxString before = write_path();
    undercam_options dialog(this, link_);
    if (dialog.ShowModal() != wxID_OK) return;
    link_->with_config([](wxConfigBase& config) { config.Flush(false); });
    apply_view_settings();
    const bool moved = write_path() != before;
    if (idle()) {
        if (moved) reload_catalogue();
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

void undercam_frame::on_exit(wxCommandEvent&) {
    Close(true);
}

void undercam_frame::on_refresh_cameras(wxCommandEvent&) {
    if (!idle()) return;  // the running capture streams from the open camera
    const std::string remembered = to_narrow(camera_choice_->GetStringSelection());
    camera_.reset();
    refresh_camera_list();
    show_camera_descriptions();
    select_camera(remembered);
}

void undercam_frame::on_capture(wxCommandEvent&) {
    start_capture();
}

void undercam_frame::on_capture_write(wxCommandEvent&) {
    start_recording();
}

void undercam_frame::on_stop(wxCommandEvent&) {
    stop_acquisition();
}

void undercam_frame::on_session_code(wxCommandEvent&) {
    if (!recording()) return;
    const std::shared_ptr<frame_source> mode = active_mode_;
    wxTextEntryDialog dialog(this, L"Введите код сеанса", L"Код сеанса",
                             from_narrow(mode->get_session_code()), wxOK | wxCANCEL | wxCENTRE);
    // The code is for the recording the dialog was opened on, if it still runs.
    if (dialog.ShowModal() == wxID_OK && active_mode_ == mode && recording()) {
        mode->set_session_code(to_narrow(dialog.GetValue()));
    }
}

void undercam_frame::on_reload_databases(wxCommandEvent&) {
    if (idle()) reload_catalogue();
}

void undercam_frame::on_view_database(wxCommandEvent&) {
    const wxString path = databases_->selected_path();
    if (!database_command_allowed(path)) return;
    viewer_dialog viewer(this, to_narrow(path));
    viewer.panel()->set_scale(link_->read_double(cfg::scale, cfg::scale_default));
    viewer.panel()->show_ruler(link_->read_bool(cfg::show_scale, cfg::show_scale_default));
    viewer.ShowModal();
}

void undercam_frame::on_database_command(wxCommandEvent& event) {
    const wxString path = databases_->selected_path();
    if (!database_command_allowed(path)) return;
    switch (event.GetId()) {
        case id_delete_database:
            delete_selected(path);
            break;
        case id_archive_database:
            archive_selected(path);
            break;
        case id_replace_side:
            replace_side(path, to_narrow(link_->read_text(cfg::side, cfg::side_default)));
            break;
        case id_replace_session: {
            const std::string current = stored_session(path);
            wxTextEntryDialog dialog(this, L"Введите новый код сеанса", L"Код сеанса",
                                     from_narrow(current), wxOK | wxCANCEL | wxCENTRE);
            if (dialog.ShowModal() == wxID_OK && database_command_allowed(path)) {
                replace_session(path, to_narrow(dialog.GetValue()));
            }
            break;
        }
    }
    if (event.GetId() == id_delete_database) {
        databases_->show(catalogue::instance().snapshot());
    } else if (const auto entry = catalogue::instance().find_path(path)) {
        databases_->update_row(*entry);
    }
}

void undercam_frame::delete_selected(const wxString& path) {
    const int answer = message_box(
        wxString::Format(L"Данные в папке %s будут удалены безвозвратно. Продолжить?", path),
        L"Удаление данных", wxYES_NO | wxICON_WARNING, this);
    if (answer == wxID_YES && database_command_allowed(path)) delete_database(path);
}

void undercam_frame::archive_selected(const wxString& path) {
    wxFileDialog dialog(this, L"Имя архивного файла", wxEmptyString,
                        wxFileName::DirName(path).GetDirs().Last(), L"Архивы (*.zip)|*.zip",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !database_command_allowed(path)) return;
    archive_outcome outcome;
    {
        wxBusyInfo busy(L"Запись базы в архив...", this);
        outcome = archive_database(path, dialog.GetPath());
    }
    if (outcome.result == archive_outcome::file_failed) {
        log_error(outcome.message);
    } else if (outcome.result != archive_outcome::written) {
        message_box(outcome.message, wxMessageBoxCaptionStr, wxOK | wxCENTRE, this);
    }
}

void undercam_frame::on_dpp_test(wxCommandEvent&) {
    for (const auto& line : run_odometer_test(odometer_test_ports())) {
        log_info(wxString::FromUTF8(line));
    }
}

void undercam_frame::on_camera_choice(wxCommandEvent& event) {
    if (!idle()) {
        // The running capture keeps its camera; the choice shows it again.
        camera_choice_->SetStringSelection(from_narrow(camera_description_));
        return;
    }
    camera_.reset();
    select_camera(to_narrow(event.GetString()));
}

void undercam_frame::on_exposure_choice(wxCommandEvent& event) {
    select_exposure_mode(event.GetString());
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
    switch (event.GetId()) {
        case id_camera_choice:
        case id_settings:
        case id_refresh_cameras:
        case id_reload_databases:
            event.Enable(idle());
            break;
        case id_capture:
        case id_capture_write:
            event.Enable(idle() && camera_);
            break;
        case id_stop:
            event.Enable(!idle());
            break;
        case id_session_code:
            event.Enable(!idle() && active_mode_->is_recording());
            break;
        case id_view_database:
        case id_delete_database:
        case id_archive_database:
        case id_replace_side:
        case id_replace_session:
            event.Enable(idle() && database_selected());
            break;
        case id_coverage_report:  // reads only: a closed session while recording too
            event.Enable(database_selected());
            break;
        default:
            event.Enable(true);
    }
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
    const bool recording = active_mode_ && active_mode_->is_recording();
    status_bar_->set_faults(recording ? event.GetInt() : 0);
}

void undercam_frame::on_thread_status(wxThreadEvent& event) {
    const int field = event.GetInt();
    if (field >= 0 && field < GetStatusBar()->GetFieldsCount()) {
        SetStatusText(event.GetString(), field);
    }
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
    switch (event.GetInt()) {
        case rc_start_recording:
            start_recording();
            break;
        case rc_stop:
            stop_acquisition();
            break;
        case rc_new_session:
            log_info(event.GetString());
            if (active_mode_ && camera_) {
                active_mode_->restart_recording(link_, to_narrow(event.GetString()));
            }
            break;
        default:
            log_info(wxString("Empty RC command"));
    }
}

void undercam_frame::on_coverage(wxThreadEvent& event) {
    live_coverage_->show(event.GetPayload<coverage>());
}

void undercam_frame::on_coverage_report(wxCommandEvent&) {
    const wxString path = databases_->selected_path();
    if (path.empty() || !databases_->has_row(path)) return;
    wxFileDialog dialog(this, L"Отчёт о покрытии", wxEmptyString,
                        wxFileName::DirName(path).GetDirs().Last() + L"_покрытие.html",
                        L"HTML (*.html)|*.html", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !databases_->has_row(path)) return;
    write_coverage_report(path, dialog.GetPath());
}

bool undercam_frame::write_coverage_report(const wxString& database, const wxString& file) {
    const auto entry = catalogue::instance().find_path(database);
    if (!entry) return false;
    std::string html;
    try {
        wxBusyInfo busy(L"Подсчет покрытия...", this);
        html = coverage_report_html(coverage_of_database(to_narrow(database)), entry->info,
                                    to_narrow(database));
    } catch (const std::exception& e) {
        log_error(wxString::Format(L"Отчёт о покрытии не составлен: %s", from_narrow(e.what())));
        return false;
    }
    wxLogNull quiet;  // the failure is the journal's row, not a dialog of its own
    wxFile out;
    if (!out.Create(file, true) || out.Write(html.data(), html.size()) != html.size() ||
        !out.Close()) {
        log_error(wxString::Format(L"Отчёт о покрытии не записан в файл %s: %s", file,
                                   wxSysErrorMsgStr()));
        return false;
    }
    log_info(wxString::Format(L"Отчёт о покрытии записан: %s", file));
    return true;
}

void undercam_frame::on_db_list(wxThreadEvent& event) {
    // Rows of a scan that a reload has abandoned belong to a list that is gone.
    const int scan = event.GetInt();
    if (scan != 0 && !load_thread::is_current(scan)) return;
    arriving_rows_.push_back({event.GetPayload<ldb_info>(), event.GetString()});
    if (scan == 0) {
        show_arriving_rows();  // a recording's session shows at once
    } else if (!arriving_timer_.IsRunning()) {
        arriving_timer_.StartOnce(kArrivingRowsMs);
    }
}

void undercam_frame::show_arriving_rows() {
    arriving_timer_.Stop();
    // A database is listed once, however it was learnt of (scan or recording).
    for (ldb_entry& entry : databases_->add_rows(std::move(arriving_rows_)))
        catalogue::instance().append(std::move(entry));
    arriving_rows_.clear();
}
