#include "app/fleet/fleet_pane.h"

#include "app/command_boundary.h"
#include "app/command_ids.h"
#include "app/database/database_list.h"
#include "app/station_status_bar.h"
#include "app/termination.h"
#include "database/catalogue.h"
#include "database/database_commands.h"
#include "fleet/fleet_row.h"
#include "fleet/upload_queue.h"
#include "fleet/upload_state.h"
#include "fleet/upload_thread.h"
#include "runtime/journal.h"
#include "runtime/text_encoding.h"

#include <wx/filename.h>
#include <wx/msgdlg.h>

#include <algorithm>

namespace {

const std::vector<int> kMenuItems{0, id_fleet_upload, id_fleet_upload_all, id_fleet_delete_stored};

bool same(const fleet_settings& a, const fleet_settings& b) {
    const s3_settings& x = a.store;
    const s3_settings& y = b.store;
    return a.enabled == b.enabled && a.vehicle == b.vehicle && x.endpoint == y.endpoint &&
           x.region == y.region && x.bucket == y.bucket && x.access_key == y.access_key &&
           x.secret_key == y.secret_key && x.ca_file == y.ca_file && x.max_rate == y.max_rate;
}

const wxString& stored_text() {
    static const wxString text = fleet_row_text({fleet_row::stored, 0});
    return text;
}

}  // namespace

fleet_pane::fleet_pane(wxWindow* window, const app_link_ptr& link, std::function<bool()> idle)
    : window_(window), link_(link), idle_(std::move(idle)) {}

fleet_pane::~fleet_pane() {
    stop();
}

void fleet_pane::add_commands(command_table& commands) {
    const auto on = [this] { return running(); };
    const auto selected = [this] { return running() && list_ && !list_->selected_path().empty(); };
    commands.add(id_fleet_upload, L"Выгрузить в хранилище", selected,
                 [this] { upload_selected(); });
    commands.add(id_fleet_upload_all, L"Выгрузить все в хранилище", on, [this] { upload_all(); });
    commands.add(
        id_fleet_delete_stored, L"Удалить выгруженные", [this] { return running() && idle_(); },
        [this] { delete_stored(); });
}

void fleet_pane::set_views(database_list* list, station_status_bar* bar, std::vector<wxMenu*> menus,
                           const command_table* commands) {
    list_ = list;
    bar_ = bar;
    menus_ = std::move(menus);
    commands_ = commands;
}

void fleet_pane::apply_settings() {
    const fleet_settings settings = read_fleet_settings(*link_);
    if (running() && same(settings, running_)) return;
    stop();
    show(settings.enabled);
    if (!settings.enabled) return;
    if (!settings.usable()) {
        log_error(
            wxString(L"Хранилище парка включено, но выгрузка не идет: в настройках нужны "
                     L"адрес, корзина и имя вагона (латинские буквы, цифры, . _ -)"));
        return;
    }
    start(settings);
}

void fleet_pane::start(const fleet_settings& settings) {
    queue_ = std::make_shared<upload_queue>();
    link_->stop_at_detach(queue_);
    auto thread = std::make_unique<upload_thread>(
        link_, queue_, settings, default_state_file(to_narrow(wxFileName::GetHomeDir())));
    if (thread->Run() != wxTHREAD_NO_ERROR) {
        queue_.reset();
        log_error(wxString(L"Не удалось запустить поток выгрузки в хранилище парка"));
        return;
    }
    thread_ = std::move(thread);
    running_ = settings;
    // What the thread before had waiting or in progress goes on with this one.
    if (list_) {
        for (const ldb_entry& row : list_->rows()) {
            const wxString text = list_->fleet_text(row.path);
            if (text == fleet_row_text({fleet_row::queued, 0}) ||
                text.StartsWith(fleet_row_text({fleet_row::uploading, 0}).BeforeLast(' ')))
                queue_upload(row.path);
        }
    }
    log_info(wxString::Format(L"Выгрузка в хранилище парка: %s, корзина %s, вагон %s",
                              from_narrow(settings.store.endpoint),
                              from_narrow(settings.store.bucket), from_narrow(settings.vehicle)));
}

void fleet_pane::stop() {
    if (!thread_) return;
    queue_->stop();
    thread_->Wait();
    thread_.reset();
    queue_.reset();
    to_delete_.clear();
    if (bar_ && bar_->fields() > field_fleet) bar_->SetStatusText(wxEmptyString, field_fleet);
}

void fleet_pane::show(bool on) {
    if (list_) list_->show_fleet_column(on);
    if (bar_) bar_->show_fleet_field(on);
    for (wxMenu* menu : menus_) {
        const bool shown = menu->FindItem(id_fleet_upload) != nullptr;
        if (on && !shown) {
            commands_->append_items(*menu, kMenuItems);
        } else if (!on && shown) {
            for (const int id : kMenuItems)
                if (id) menu->Destroy(id);
            const size_t count = menu->GetMenuItemCount();
            if (count && menu->FindItemByPosition(count - 1)->IsSeparator())
                menu->Destroy(menu->FindItemByPosition(count - 1));
        }
    }
}

void fleet_pane::queue_upload(const wxString& path) {
    if (!running()) return;
    if (queue_->add({upload_job::upload, to_narrow(path)}) && list_)
        list_->set_fleet_text(path, fleet_row_text({fleet_row::queued, 0}));
}

void fleet_pane::session_closed(const wxString& path) {
    queue_upload(path);
}

bool fleet_pane::let_go(const wxString& path) {
    return running() && queue_->release(to_narrow(path));
}

void fleet_pane::after_command(const wxString& path, bool had, bool changed) {
    if (!running()) return;
    // A relabelled session the store holds, or was taking, goes up again.
    const bool known = list_ && !list_->fleet_text(path).empty();
    if (had || (changed && known)) {
        queue_upload(path);
    }
}

void fleet_pane::deleted(const wxString& path) {
    if (!running()) return;
    queue_->add({upload_job::discard, to_narrow(path)});
    if (list_) list_->set_fleet_text(path, wxEmptyString);
}

void fleet_pane::upload_selected() {
    queue_upload(list_->selected_path());
}

void fleet_pane::upload_all() {
    for (const ldb_entry& row : list_->rows()) {
        if (list_->fleet_text(row.path) != stored_text()) queue_upload(row.path);
    }
}

void fleet_pane::delete_stored() {
    std::vector<wxString> stored;
    uint64_t bytes = 0;
    for (const ldb_entry& row : list_->rows()) {
        if (list_->fleet_text(row.path) != stored_text()) continue;
        stored.push_back(row.path);
        bytes += row.info.size;
    }
    if (stored.empty()) {
        log_info(wxString(L"Выгруженных сеансов нет"));
        return;
    }
    const wxString size =
        wxFileName::GetHumanReadableSize(wxULongLong(bytes), "0", 1, wxSIZE_CONV_TRADITIONAL);
    const int answer = message_box(
        wxString::Format(L"Будут удалены выгруженные сеансы: %zu (%s). Перед удалением каждый "
                         L"сверяется с хранилищем парка. Продолжить?",
                         stored.size(), size),
        L"Удаление выгруженных", wxYES_NO | wxICON_WARNING, window_);
    if (answer != wxID_YES || !running()) return;
    for (const wxString& path : stored) {
        if (std::find(to_delete_.begin(), to_delete_.end(), path) == to_delete_.end())
            to_delete_.push_back(path);
        queue_->add({upload_job::confirm_for_deletion, to_narrow(path)});
    }
}

void fleet_pane::on_state(wxThreadEvent& event) {
    const fleet_row row{fleet_row::state_kind(event.GetInt()), int(event.GetExtraLong())};
    if (list_) list_->set_fleet_text(event.GetString(), fleet_row_text(row));
}

void fleet_pane::on_progress(wxThreadEvent& event) {
    if (bar_ && bar_->fields() > field_fleet) bar_->SetStatusText(event.GetString(), field_fleet);
}

void fleet_pane::on_deletable(wxThreadEvent& event) {
    const wxString path = event.GetString();
    const auto it = std::find(to_delete_.begin(), to_delete_.end(), path);
    if (it == to_delete_.end()) return;
    to_delete_.erase(it);
    run_guarded([&] {
        // Verified in the store; still only while idle and still listed.
        if (!idle_()) {
            log_error(wxString::Format(L"Сеанс %s не удален: идет запись", path));
            return;
        }
        if (!catalogue::instance().find_path(path)) return;
        delete_database(path);
        deleted(path);
        log_info(wxString::Format(L"Удален выгруженный сеанс: %s", path));
        list_->show(catalogue::instance().snapshot());
    });
}
