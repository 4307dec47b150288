#include "recording/write_thread.h"

#include "database/coverage.h"
#include "database/ldb_format.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "database/session_folder.h"
#include "database/session_repair.h"
#include "recording/coordinate_client.h"
#include "recording/odometer_link.h"
#include "recording/serial_link.h"
#include "runtime/configuration.h"
#include "runtime/disk_space.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"
#include "runtime/thread_name.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/post.hpp>
#include <boost/format.hpp>
#include <wx/filename.h>

#include <filesystem>
#include <future>

namespace {

// The skipped figure assumes the odometer counts this much between messages.
constexpr uint32_t kCountsPerMessage = 5;
// A frame older than this was not taken at the message: it is not stored.
constexpr auto kFrameMaxAge = std::chrono::seconds(2);
constexpr auto kSupervisionPeriod = std::chrono::milliseconds(500);
// After a failed store write, the next session opens no sooner than this.
constexpr auto kStoreRetryPause = std::chrono::seconds(5);
// The disk is nearly full below this much room, or below this much recording
// at the rate of the last frames.
constexpr uint64_t kDiskLowBytes = uint64_t(1) << 30;
constexpr auto kDiskLowRecording = std::chrono::minutes(5);
constexpr auto kRateWindow = std::chrono::seconds(10);
// Frames in flight: two per encoder keep every encoder busy while the writer
// stores; sixteen more ride out the bursts of other work on the cores (the
// store's tables, a client's reply) without a late frame. At 4096 x 1024
// that bounds the frames in flight to about 100 MB.
constexpr size_t kFramesPerEncoder = 2;
constexpr size_t kFramesForBursts = 16;
// The recording has caught up when no frame was late for this long.
constexpr auto kCaughtUp = std::chrono::seconds(2);

wxString gib_text(uint64_t bytes) {
    return wxString::Format("%.1f GB", double(bytes) / double(uint64_t(1) << 30));
}

}  // namespace

size_t write_thread::default_encoders() {
    return std::max(1u, std::thread::hardware_concurrency());
}

write_thread::write_thread(const app_link_ptr& link, const std::string& session_code,
                           frame_buffer& frame, size_t encoders)
    : wxThread(wxTHREAD_JOINABLE),
      link_(link),
      frame_(frame),
      port_path_(
          serial_port_path(to_narrow(link->read_text(cfg::dpp_port, cfg::dpp_port_default)))),
      format_(link->read_text(cfg::dpp_format, cfg::dpp_format_default) == cfg::dpp_format_default
                  ? odometer_new
                  : odometer_old),
      coordinate_enabled_(
          link->read_bool(cfg::coordinate_server_enabled, cfg::coordinate_server_enabled_default)),
      coordinate_host_(to_narrow(
          link->read_text(cfg::coordinate_server_address, cfg::coordinate_server_address_default))),
      coordinate_service_(to_narrow(
          link->read_text(cfg::coordinate_server_port, cfg::coordinate_server_port_default))),
      coordinate_period_(static_cast<uint32_t>(link->read_long(
          cfg::coordinate_server_query_period, cfg::coordinate_server_query_period_default))),
      side_(to_narrow(link->read_text(cfg::side, cfg::side_default))),
      write_folder_(to_narrow(link->read_text(cfg::write_path, cfg::write_path_default()))),
      session_code_(session_code),
      supervision_(io_),
      pipeline_(std::make_unique<frame_pipeline>(
          io_, encoders, kFramesPerEncoder * encoders + kFramesForBursts,
          [this](frame_pipeline::entry& e) { write_entry(e); },
          [this] {
              if (odometer_ && !stopping_) odometer_->resume();
          })) {
    if (!wxFileName::DirExists(from_narrow(write_folder_))) {
        wxFileName::Mkdir(from_narrow(write_folder_), 0777, wxPATH_MKDIR_FULL);
    }
}

write_thread::~write_thread() {
    // Before the io_context their objects live on.
    pipeline_.reset();
    coordinates_.reset();
    odometer_.reset();
}

void write_thread::stop() {
    boost::asio::post(io_, [this] { begin_stop(); });
}

void write_thread::begin_stop() {
    if (stopping_) return;
    stopping_ = true;
    if (odometer_) {
        // What is still in the line is not recorded; the journal says so.
        const size_t unread = odometer_->waiting() / size_t(format_);
        if (unread > 0) {
            link_->post_info(
                wxString::Format(L"Запись остановлена: не прочитано сообщений ДПП: %zu", unread));
        }
        odometer_->close();
    }
    if (coordinates_) coordinates_->stop();
    supervision_.cancel();
    // Every frame already copied is stored before the session closes.
    if (pipeline_->empty()) io_.stop();
}

std::string write_thread::get_session_code() const {
    std::lock_guard<std::mutex> lock(code_guard_);
    return session_code_;
}

wxString write_thread::status_text(odometer_format format, uint32_t value, uint32_t written,
                                   uint32_t skipped, uint32_t failures) {
    // The skipped figure is unsigned arithmetic shown signed, so a surplus reads as negative.
    return wxString::Format(L"ДПП[%d]: %u Записано: %u Пропущено: %d Сбоев: %u", int(format), value,
                            written, static_cast<int32_t>(skipped), failures);
}

wxThread::ExitCode write_thread::Entry() {
    name_this_thread("recording");
    ExitCode result = 0;
    try {
        odometer_ = std::make_unique<odometer_link>(
            io_, port_path_, format_, link_,
            [this](uint32_t value) { on_odometer_value(value, format_); });
        odometer_->start();
        if (coordinate_enabled_) {
            coordinates_ = std::make_unique<coordinate_client>(
                io_, coordinate_host_, coordinate_service_, coordinate_period_, link_,
                [this](const std::string& code) { queue_session_code(code); });
            coordinates_->start();
        }
        supervise();
        // The loop ends by stop() alone, never for want of work: frames still
        // being encoded are not work the loop can see.
        const auto keep_running = boost::asio::make_work_guard(io_);
        io_.run();
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
        result = reinterpret_cast<ExitCode>(-1);
    } catch (...) {
        link_->post_error("Unknown exception in write thread");
        result = reinterpret_cast<ExitCode>(-1);
    }
    loop_ended_ = true;
    odometer_.reset();  // the port is free for the next recording
    try {
        finish();
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
        result = reinterpret_cast<ExitCode>(-1);
    }
    return result;
}

void write_thread::finish() {
    std::lock_guard<std::mutex> lock(end_guard_);
    close_session();
    finish_unclosed_sessions();
}

void write_thread::supervise() {
    check_frame(frame_state(frame_, clock::now(), kFrameMaxAge));
    set_fault(fault_odometer_lost, odometer_ && !odometer_->is_open());
    check_disk();
    if (faults_ != posted_faults_) post_status(wxEmptyString);
    post_coverage();
    if (faults_ & fault_behind && clock::now() - last_late_ > kCaughtUp) {
        set_fault(fault_behind, false);
    }
    if (faults_ != posted_faults_) post_status(wxEmptyString);
    supervision_.expires_after(kSupervisionPeriod);
    supervision_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec && !stopping_) supervise();
    });
}

void write_thread::check_frame(frame_freshness state) {
    set_fault(fault_capture_stopped, state == frame_freshness::capture_stopped,
              L"Захват остановлен: кадры не записываются");
    set_fault(fault_no_frames, state == frame_freshness::stale,
              L"Нет кадров с камеры: кадры не записываются");
}

void write_thread::check_disk() {
    const auto now = clock::now();
    while (!written_.empty() && now - written_.front().first > kRateWindow)
        written_.pop_front();
    const auto space = disk_space_of(write_folder_);
    if (!space) return;
    const uint64_t room = space->free;
    uint64_t recent = 0;
    for (const auto& [when, bytes] : written_)
        recent += bytes;
    const double per_second = double(recent) / std::chrono::duration<double>(kRateWindow).count();
    const double seconds_left = per_second > 0 ? double(room) / per_second : 1e300;
    const bool low = room < kDiskLowBytes ||
                     seconds_left < std::chrono::duration<double>(kDiskLowRecording).count();
    set_fault(fault_disk_low, low,
              wxString::Format(L"Мало места на диске: свободно %s", gib_text(room)));
}

void write_thread::set_fault(recording_fault fault, bool on, const wxString& begin_row) {
    if (bool(faults_ & fault) == on) return;
    faults_ = on ? faults_ | fault : faults_ & ~fault;
    // The odometer's line journals its own loss and return.
    if (fault == fault_odometer_lost) return;
    if (on) {
        if (!begin_row.empty()) link_->post_error(begin_row);
        return;
    }
    switch (fault) {
        case fault_no_frames:
            link_->post_info(L"Кадры с камеры поступают");
            break;
        case fault_capture_stopped:
            link_->post_info(L"Захват идет: кадры записываются");
            break;
        case fault_store_failed:
            link_->post_info(L"Запись в базу возобновлена");
            break;
        case fault_disk_low:
            link_->post_info(L"Места на диске достаточно");
            break;
        case fault_behind:
            link_->post_info(
                wxString::Format(L"Запись успевает: кадров, записанных с опозданием: %u", late_));
            late_ = 0;
            break;
        default:
            break;
    }
}

void write_thread::post_status(const wxString& text) {
    posted_faults_ = faults_;
    link_->post(evt_dpp_status, text, faults_);
}

void write_thread::open_session() {
    // A second session within the same second takes the next free second's
    // name rather than reopening (and overwriting) the first.
    std::time_t when = std::time(nullptr);
    std::string path;
    do {
        path = (std::filesystem::path(write_folder_) / session_folder_name(when++)).string();
    } while (std::filesystem::exists(path));
    ldb_writer::live().open(path);
    session_keys_.clear();
    posted_keys_ = 0;
}

void write_thread::post_coverage() {
    ldb_writer& live = ldb_writer::live();
    if (!live.is_open() || session_keys_.size() == posted_keys_) return;
    posted_keys_ = session_keys_.size();
    wxThreadEvent event(evt_coverage, wxID_ANY);
    event.SetString(from_narrow(live.path()));
    event.SetPayload(coverage_of(session_keys_));
    link_->post(event);
}

void write_thread::report(const std::string& path, const ldb_info& info) {
    wxThreadEvent event(evt_db_list, wxID_ANY);
    event.SetString(from_narrow(path));
    event.SetPayload(info);
    link_->post(event);
}

void write_thread::close_session() {
    ldb_writer& live = ldb_writer::live();
    if (!live.is_open()) return;
    const std::string path = live.path();
    bool missing_start = false;
    const std::optional<ldb_info> info = live.close(get_session_code(), side_, &missing_start);
    if (missing_start) link_->post_error(L"Не задано время начала проезда");
    // Every closed session with frames joins the catalogue at once, whether
    // it ended with the run, an odometer reset or a new session code; the
    // journal says what it covered.
    if (info) {
        link_->post_info(
            wxString::Format(L"Сеанс закрыт: %s: %s", from_narrow(path),
                             wxString::FromUTF8(coverage_summary(coverage_of(session_keys_)))));
        report(path, *info);
    }
}

bool write_thread::store(uint32_t value, const std::vector<uint8_t>& jpeg) {
    ldb_writer& live = ldb_writer::live();
    try {
        if (!live.is_open()) {
            if (clock::now() < reopen_allowed_) return false;
            open_session();
        }
        const std::time_t now = std::time(nullptr);
        // The frame first: a process killed between two puts never leaves
        // "dpp_end" naming a frame that is not there.
        live.put_frame_jpeg(jpeg, value);
        if (live.count() == 1) {
            live.put_dpp_start(value);
            live.put_time_start(now);
        }
        live.put_dpp_end(value);
        live.put_time_end(now);
        written_.emplace_back(clock::now(), jpeg.size());
        if (session_keys_.empty() || session_keys_.back() < value) session_keys_.push_back(value);
    } catch (const std::exception& e) {
        store_failed(e.what());
        return false;
    }
    set_fault(fault_store_failed, false);
    finish_unclosed_sessions();
    return true;
}

void write_thread::store_failed(const std::string& error) {
    set_fault(fault_store_failed, true, from_narrow(error));
    reopen_allowed_ = clock::now() + kStoreRetryPause;
    ldb_writer& live = ldb_writer::live();
    if (!live.is_open()) return;
    // Closed with its closing entries where the store still allows it;
    // otherwise finished from its frames once storing works again.
    const std::string path = live.path();
    try {
        close_session();
    } catch (const std::exception&) {
        live.release();
        unfinished_.emplace_back(path, get_session_code());
    }
}

void write_thread::finish_unclosed_sessions() {
    for (auto it = unfinished_.begin(); it != unfinished_.end();) {
        const auto& [path, code] = *it;
        try {
            const session_repair repair = finish_unclosed_session(path, side_, code);
            if (repair.result != session_repair::not_a_session) {
                link_->post_info(wxString::Format(
                    L"Сеанс закрыт: %s: %s", from_narrow(path),
                    wxString::FromUTF8(coverage_summary(coverage_of_database(path)))));
                ldb_reader reader(path);
                report(path, reader.read_info());
            }
            it = unfinished_.erase(it);
        } catch (const std::exception&) {
            ++it;  // the store is not back yet: tried again after the next frame
        }
    }
}

void write_thread::on_odometer_value(uint32_t value, odometer_format format) {
    if (stopping_) return;
    // Messages read after the line was left waiting, until it is caught up,
    // were read late: each gets the frame that is newest now. So were
    // messages read while as many more wait behind them as the pipeline
    // holds: the store, which shares this thread with the line, was slower
    // than the messages for that long.
    const bool late =
        backlog_ || (odometer_ && odometer_->waiting() >= pipeline_->capacity() * size_t(format));
    if (backlog_ && (!odometer_ || odometer_->waiting() < size_t(format))) backlog_ = false;
    pipeline_->submit_frame(value, format, frame_, late, kFrameMaxAge);
    if (pipeline_->full() && odometer_) {
        odometer_->pause();
        backlog_ = true;
    }
}

void write_thread::write_entry(frame_pipeline::entry& e) {
    if (e.change) {
        e.change();
    } else {
        ldb_writer& live = ldb_writer::live();
        try {
            if (e.value < last_value_ && live.is_open()) {
                link_->post_info(wxString::FromUTF8(
                    (boost::format("dpp reset: %1% to %2%") % last_value_ % e.value).str()));
                close_session();
            }
        } catch (const std::exception& ex) {
            store_failed(ex.what());
        }
        last_value_ = e.value;
        check_frame(e.state);
        set_fault(fault_odometer_lost, odometer_ && !odometer_->is_open());
        if (e.late) {
            ++late_;
            last_late_ = clock::now();
            set_fault(fault_behind, true, L"Запись отстает: кадры записываются с опозданием");
        }
        if (!e.has_frame() || !store(e.value, e.jpeg)) ++failures_;
        uint32_t skipped = 0;
        try {
            const uint32_t written = static_cast<uint32_t>(live.count());
            skipped =
                (live.read_dpp_end() - live.read_dpp_start()) / kCountsPerMessage - written + 1;
        } catch (const std::exception&) {
            // The live reads of a failing store: the figure is not known.
        }
        post_status(status_text(e.format, e.value, static_cast<uint32_t>(live.count()), skipped,
                                failures_));
    }
    if (stopping_ && pipeline_->empty()) io_.stop();
}

void write_thread::queue_session_code(const std::string& code, std::function<void()> applied) {
    pipeline_->submit_change([this, code, applied = std::move(applied)] {
        apply_session_code(code);
        if (applied) applied();
    });
}

void write_thread::apply_session_code(const std::string& code) {
    {
        std::lock_guard<std::mutex> lock(code_guard_);
        if (code == session_code_) return;
    }
    if (!get_session_code().empty()) {
        try {
            close_session();
        } catch (const std::exception& e) {
            store_failed(e.what());
        }
    }
    link_->post_info(wxString::Format("New session started (id: %s)", from_narrow(code)));
    std::lock_guard<std::mutex> lock(code_guard_);
    session_code_ = code;
}

void write_thread::set_session_code(const std::string& code) {
    if (wxThread::GetCurrentId() == GetId()) {
        queue_session_code(code);
        return;
    }
    // In turn with the messages read before it.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> applied = done->get_future();
    boost::asio::post(
        io_, [this, code, done] { queue_session_code(code, [done] { done->set_value(); }); });
    while (applied.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        if (loop_ended_) {
            // The loop will not run it any more; the end of the run is guarded.
            std::lock_guard<std::mutex> lock(end_guard_);
            if (applied.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                apply_session_code(code);
            }
            return;
        }
    }
}
