#include "fleet/upload_thread.h"

#include "database/ldb_reader.h"
#include "fleet/fleet_row.h"
#include "fleet/fleet_store.h"
#include "fleet/manifest.h"
#include "fleet/s3_client.h"
#include "fleet/session_upload.h"
#include "fleet/upload_state.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"
#include "runtime/thread_priority.h"
#include "runtime/thread_name.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace {

using steady = std::chrono::steady_clock;

// Progress is shown this often, not per block sent.
constexpr auto kProgressEvery = std::chrono::milliseconds(250);

double megabytes(uint64_t bytes) {
    return double(bytes) / (1024.0 * 1024.0);
}

// The work of one thread: its client, its state, and the outage it is in.
class uploader {
  public:
    uploader(const app_link_ptr& link, upload_queue& queue, const fleet_settings& settings,
             s3_client& client, upload_state& state)
        : link_(link),
          queue_(queue),
          settings_(settings),
          client_(client),
          state_(state),
          store_(client) {}

    void show_known_sessions();
    // Runs the jobs until the queue stops.
    void run();

  private:
    void handle(const upload_job& job);
    void upload(const std::string& folder);
    void check(const std::string& folder);
    void discard(const std::string& folder);
    void confirm_for_deletion(const std::string& folder);
    void failed(const upload_job& job, const std::string& why);
    // Records the sessions waiting in the state, so that a station closed
    // before their turn takes them up at its next start.
    void note_waiting(bool save_anyway = false);

    void show(const std::string& folder, fleet_row::state_kind state, int percent = 0);
    void show_progress(const std::string& folder, const upload_progress& p,
                       steady::time_point began);

    const app_link_ptr& link_;
    upload_queue& queue_;
    const fleet_settings& settings_;
    s3_client& client_;
    upload_state& state_;
    fleet_store store_;
    bool outage_ = false;
    int tries_ = 0;
    steady::time_point last_progress_{};
};

wxString folder_text(const std::string& folder) {
    return from_narrow(folder);
}

void uploader::show(const std::string& folder, fleet_row::state_kind state, int percent) {
    wxThreadEvent event(evt_fleet_state, wxID_ANY);
    event.SetString(folder_text(folder));
    event.SetInt(state);
    event.SetExtraLong(percent);
    link_->post(event);
}

void uploader::show_progress(const std::string& folder, const upload_progress& p,
                             steady::time_point began) {
    const auto now = steady::now();
    if (now - last_progress_ < kProgressEvery && p.done != p.total) return;
    last_progress_ = now;
    const int percent = p.total ? int(p.done * 100 / p.total) : 0;
    show(folder, fleet_row::uploading, percent);
    const double seconds = std::chrono::duration<double>(now - began).count();
    const char* stage = p.stage == upload_progress::checking    ? "проверка"
                        : p.stage == upload_progress::verifying ? "сверка"
                                                                : "выгрузка";
    link_->post(
        evt_fleet_progress,
        wxString::Format(L"Хранилище: %s %d%%, %.1f из %.1f МБ, %.1f МБ/с",
                         wxString::FromUTF8(stage), percent, megabytes(p.done), megabytes(p.total),
                         seconds > 0 ? megabytes(p.sent) / seconds : 0.0));
}

void uploader::show_known_sessions() {
    std::vector<std::string> gone;
    for (const session_record& r : state_.records()) {
        std::error_code error;
        if (!std::filesystem::exists(r.folder, error)) {
            gone.push_back(r.folder);
        } else if (r.stored) {
            show(r.folder, fleet_row::stored);
            queue_.add({upload_job::check, r.folder});
        } else {
            show(r.folder, fleet_row::queued);
            queue_.add({upload_job::upload, r.folder});
        }
    }
    for (const std::string& folder : gone)
        queue_.add({upload_job::discard, folder});
}

void uploader::run() {
    while (const auto job = queue_.next()) {
        try {
            note_waiting();
            handle(*job);
            if (outage_) link_->post_info(L"Хранилище парка снова отвечает");
            outage_ = false;
            tries_ = 0;
        } catch (const s3_aborted&) {
            // Let go of for a command, or the thread ends: the command shows the row.
        } catch (const s3_error& e) {
            if (!e.transient()) {
                failed(*job, e.what());
            } else {
                if (!outage_) {
                    link_->post_error(wxString::Format(
                        L"Хранилище парка не отвечает: %s; выгрузка продолжится, когда оно "
                        L"ответит",
                        from_narrow(e.what())));
                }
                outage_ = true;
                if (job->kind == upload_job::upload) show(job->folder, fleet_row::queued);
                link_->post(evt_fleet_progress, L"Хранилище: нет связи");
                queue_.put_back(*job);
                queue_.finish();
                try {
                    note_waiting(true);  // the one tried may not have been saved yet
                } catch (const std::exception&) {
                    // the next try says why
                }
                if (!queue_.pause(upload_thread::retry_pause(++tries_))) return;
                continue;
            }
        } catch (const std::exception& e) {
            failed(*job, e.what());
        }
        queue_.finish();
    }
}

void uploader::note_waiting(bool save_anyway) {
    bool added = save_anyway;
    for (const std::string& folder : queue_.waiting_uploads()) {
        if (state_.find(folder)) continue;
        state_.record(folder);  // no place yet: planned when its turn comes
        added = true;
    }
    if (added) state_.save();
}

void uploader::failed(const upload_job& job, const std::string& why) {
    switch (job.kind) {
        case upload_job::upload:
            link_->post_error(wxString::Format(L"Сеанс %s не выгружен в хранилище: %s",
                                               folder_text(job.folder), from_narrow(why)));
            show(job.folder, fleet_row::failed);
            break;
        case upload_job::check:
            link_->post_error(wxString::Format(L"Сеанс %s не сверен с хранилищем: %s",
                                               folder_text(job.folder), from_narrow(why)));
            break;
        case upload_job::discard:
            link_->post_error(
                wxString::Format(L"Невыгруженные части сеанса %s не удалены из "
                                 L"хранилища: %s",
                                 folder_text(job.folder), from_narrow(why)));
            break;
        case upload_job::confirm_for_deletion:
            link_->post_error(
                wxString::Format(L"Сеанс %s не удален: в хранилище он не подтвержден: %s",
                                 folder_text(job.folder), from_narrow(why)));
            break;
    }
    link_->post(evt_fleet_progress, wxEmptyString);
}

void uploader::handle(const upload_job& job) {
    switch (job.kind) {
        case upload_job::upload:
            upload(job.folder);
            break;
        case upload_job::check:
            check(job.folder);
            break;
        case upload_job::discard:
            discard(job.folder);
            break;
        case upload_job::confirm_for_deletion:
            confirm_for_deletion(job.folder);
            break;
    }
}

void uploader::upload(const std::string& folder) {
    show(folder, fleet_row::uploading, 0);
    // Tried again through an outage, the upload began once.
    if (!outage_)
        link_->post_info(wxString::Format(L"Выгрузка в хранилище: %s", folder_text(folder)));
    const auto began = steady::now();
    last_progress_ = {};
    session_upload session(client_, state_, folder, settings_.vehicle);
    const upload_result r =
        session.run([&](const upload_progress& p) { show_progress(folder, p, began); });
    const double seconds = std::chrono::duration<double>(steady::now() - began).count();
    show(folder, fleet_row::stored);
    link_->post(evt_fleet_progress, wxEmptyString);
    link_->post_info(wxString::Format(
        L"Сеанс выгружен в хранилище: %s, %.1f МБ за %.0f с (отправлено %.1f МБ), %s",
        folder_text(folder), megabytes(r.bytes), seconds, megabytes(r.bytes_sent),
        from_narrow(r.prefix)));
}

void uploader::check(const std::string& folder) {
    const session_record* record = state_.find(folder);
    if (!record || !record->stored) return;
    const ldb_info local = ldb_reader(folder).read_info();
    const std::string why = store_.check_stored(record->prefix, local);
    if (why.empty()) return;
    state_.record(folder).stored = false;
    state_.save();
    link_->post_info(
        wxString::Format(L"Сеанс %s в хранилище не совпадает с записанным (%s): он "
                         L"выгружается снова",
                         folder_text(folder), from_narrow(why)));
    show(folder, fleet_row::queued);
    queue_.add({upload_job::upload, folder});
}

void uploader::discard(const std::string& folder) {
    const session_record* record = state_.find(folder);
    if (!record) return;
    // A session that never began has no place in the bucket to clean.
    if (!record->stored && !record->prefix.empty()) store_.delete_unfinished(record->prefix);
    state_.erase(folder);
    state_.save();
}

void uploader::confirm_for_deletion(const std::string& folder) {
    const session_record* record = state_.find(folder);
    if (!record || !record->stored) throw std::runtime_error("the session is not stored");
    const ldb_info local = ldb_reader(folder).read_info();
    const std::string why = store_.check_stored(record->prefix, local);
    if (!why.empty()) throw std::runtime_error(why);
    // Every chunk the manifest names is there, whole.
    std::map<std::string, uint64_t> held;
    for (const s3_object& o : client_.list(record->prefix).objects)
        held[o.key] = o.size;
    const auto m = store_.manifest(record->prefix);
    if (!m) throw std::runtime_error("the manifest is gone");
    for (const manifest_chunk& c : m->chunks) {
        const auto it = held.find(record->prefix + c.name);
        if (it == held.end() || it->second != c.size)
            throw std::runtime_error(c.name + " is missing or of another size");
    }
    link_->post(evt_fleet_deletable, folder_text(folder), 1);
}

}  // namespace

upload_thread::upload_thread(const app_link_ptr& link, std::shared_ptr<upload_queue> queue,
                             fleet_settings settings, std::string state_file)
    : wxThread(wxTHREAD_JOINABLE),
      link_(link),
      queue_(std::move(queue)),
      settings_(std::move(settings)),
      state_file_(std::move(state_file)) {}

std::chrono::milliseconds upload_thread::retry_pause(int tries) {
    const int shift = std::clamp(tries - 1, 0, 6);
    return std::min(std::chrono::milliseconds(1000 << shift), std::chrono::milliseconds(60000));
}

wxThread::ExitCode upload_thread::Entry() {
    try {
        work();
    } catch (const std::exception& e) {
        link_->post_error(
            wxString::Format(L"Выгрузка в хранилище парка остановлена: %s", from_narrow(e.what())));
    } catch (...) {
        link_->post_error(L"Выгрузка в хранилище парка остановлена");
    }
    queue_->set_client(nullptr);
    return nullptr;
}

void upload_thread::work() {
    name_this_thread("fleet upload");
    run_in_idle_class();
    s3_client client(settings_.store);
    queue_->set_client(&client);
    upload_state state(state_file_, settings_.store.endpoint, settings_.store.bucket);
    if (!state.load_problem().empty()) {
        link_->post_error(
            wxString::Format(L"Состояние выгрузок %s не прочитано (%s): оно "
                             L"начинается заново",
                             from_narrow(state.file()), from_narrow(state.load_problem())));
    }
    uploader work(link_, *queue_, settings_, client, state);
    work.show_known_sessions();
    work.run();
}
