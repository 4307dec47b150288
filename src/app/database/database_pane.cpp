#include "app/database/database_pane.h"

#include "app/command_ids.h"
#include "app/database/VImagePanel.h"
#include "app/database/database_list.h"
#include "app/database/viewer_dialog.h"
#include "app/termination.h"
#include "database/catalogue.h"
#include "database/coverage.h"
#include "database/coverage_report.h"
#include "database/database_commands.h"
#include "database/load_thread.h"
#include "runtime/configuration.h"
#include "runtime/journal.h"
#include "runtime/text_encoding.h"

#include <wx/busyinfo.h>
#include <wx/file.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/msgdlg.h>
#include <wx/textdlg.h>

#include <stdexcept>

namespace {

// How long rows of a scan wait to join the list together.
constexpr int kArrivingRowsMs = 100;

wxString folder_name(const wxString& path) {
    return wxFileName::DirName(path).GetDirs().Last();
}

}  // namespace

database_pane::database_pane(wxWindow* window, const app_link_ptr& link, worker_threads& workers,
                             std::function<bool()> idle)
    : window_(window), link_(link), workers_(workers), idle_(std::move(idle)) {
    arriving_timer_.SetOwner(this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { show_arriving_rows(); });
}

database_pane::~database_pane() {
    arriving_timer_.Stop();
}

const std::vector<int>& database_pane::menu_items() {
    static const std::vector<int> items{id_view_database,
                                        id_delete_database,
                                        id_archive_database,
                                        id_replace_side,
                                        id_replace_session,
                                        id_coverage_report,
                                        0,
                                        id_reload_databases};
    return items;
}

void database_pane::add_commands(command_table& commands) {
    const auto changing = [this] { return may_change(); };
    commands.add(id_reload_databases, L"Обновить список баз", idle_, [this] { reload(); });
    commands.add(id_view_database, L"Просмотр базы", changing, [this] { view_selected(); });
    commands.add(id_delete_database, L"Удаление базы", changing, [this] { delete_selected(); });
    commands.add(id_archive_database, L"Архивация базы", changing, [this] { archive_selected(); });
    commands.add(id_replace_side, L"Заменить борт", changing,
                 [this] { replace_side_of_selected(); });
    commands.add(id_replace_session, L"Заменить код сеанса", changing,
                 [this] { replace_session_of_selected(); });
    commands.add(
        id_coverage_report, L"Отчёт о покрытии", [this] { return row_selected(); },
        [this] { report_on_selected(); });
}

database_list* database_pane::create_list(wxWindow* parent) {
    list_ = new database_list(parent, id_database_list);
    return list_;
}

bool database_pane::row_selected() const {
    return list_ && !list_->selected_path().empty();
}

bool database_pane::may_change() const {
    return idle_() && row_selected();
}

bool database_pane::may_still_change(const wxString& path) const {
    return idle_() && catalogue::instance().find_path(path).has_value();
}

void database_pane::reload() {
    arriving_timer_.Stop();
    arriving_rows_.clear();
    catalogue::instance().clear();
    list_->clear();
    try {
        workers_.run(std::make_unique<load_thread>(link_), "load thread");
    } catch (const std::exception&) {
        log_error(wxString(L"Не удалось запустить поток загрузки списка баз"));
    }
}

void database_pane::with_hooks(const wxString& path, bool changes,
                               const std::function<void()>& command) {
    const bool had = hooks_.let_go && hooks_.let_go(path);
    try {
        command();
    } catch (...) {
        if (hooks_.after) hooks_.after(path, had, changes);
        throw;
    }
    if (hooks_.after) hooks_.after(path, had, changes);
}

void database_pane::view_selected() {
    const wxString path = list_->selected_path();
    with_hooks(path, false, [&] {
        viewer_dialog viewer(window_, to_narrow(path));
        viewer.panel()->set_scale(link_->read_double(cfg::scale, cfg::scale_default));
        viewer.panel()->show_ruler(link_->read_bool(cfg::show_scale, cfg::show_scale_default));
        viewer.ShowModal();
    });
}

void database_pane::delete_selected() {
    const wxString path = list_->selected_path();
    const int answer = message_box(
        wxString::Format(L"Данные в папке %s будут удалены безвозвратно. Продолжить?", path),
        L"Удаление данных", wxYES_NO | wxICON_WARNING, window_);
    if (answer != wxID_YES || !may_still_change(path)) return;
    if (hooks_.let_go) hooks_.let_go(path);
    delete_database(path);
    if (hooks_.deleted) hooks_.deleted(path);
    list_->show(catalogue::instance().snapshot());
}

void database_pane::archive_selected() {
    const wxString path = list_->selected_path();
    wxFileDialog dialog(window_, L"Имя архивного файла", wxEmptyString, folder_name(path),
                        L"Архивы (*.zip)|*.zip", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !may_still_change(path)) return;
    archive_outcome outcome;
    with_hooks(path, false, [&] {
        wxBusyInfo busy(L"Запись базы в архив...", window_);
        outcome = archive_database(path, dialog.GetPath());
    });
    if (outcome.result == archive_outcome::file_failed) {
        log_error(outcome.message);
    } else if (outcome.result != archive_outcome::written) {
        message_box(outcome.message, wxMessageBoxCaptionStr, wxOK | wxCENTRE, window_);
    }
}

void database_pane::replace_side_of_selected() {
    const wxString path = list_->selected_path();
    with_hooks(path, true, [&] {
        replace_side(path, to_narrow(link_->read_text(cfg::side, cfg::side_default)));
    });
    show_changed(path);
}

void database_pane::replace_session_of_selected() {
    const wxString path = list_->selected_path();
    const std::string current = stored_session(path);
    wxTextEntryDialog dialog(window_, L"Введите новый код сеанса", L"Код сеанса",
                             from_narrow(current), wxOK | wxCANCEL | wxCENTRE);
    if (dialog.ShowModal() != wxID_OK || !may_still_change(path)) return;
    with_hooks(path, true, [&] { replace_session(path, to_narrow(dialog.GetValue())); });
    show_changed(path);
}

void database_pane::show_changed(const wxString& path) {
    if (const auto entry = catalogue::instance().find_path(path)) list_->update_row(*entry);
}

void database_pane::report_on_selected() {
    const wxString path = list_->selected_path();
    wxFileDialog dialog(window_, L"Отчёт о покрытии", wxEmptyString,
                        folder_name(path) + L"_покрытие.html", L"HTML (*.html)|*.html",
                        wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || !catalogue::instance().find_path(path)) return;
    write_coverage_report(path, dialog.GetPath());
}

bool database_pane::write_coverage_report(const wxString& database, const wxString& file) {
    const auto entry = catalogue::instance().find_path(database);
    if (!entry) return false;
    std::string html;
    try {
        wxBusyInfo busy(L"Подсчет покрытия...", window_);
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

void database_pane::on_db_list(wxThreadEvent& event) {
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

void database_pane::show_arriving_rows() {
    arriving_timer_.Stop();
    list_->add_rows(catalogue::instance().append(std::move(arriving_rows_)));
    arriving_rows_.clear();
}
