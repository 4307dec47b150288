#include "recording/write_thread.h"

#include "runtime/configuration.h"
#include "recording/coordinate_client.h"
#include "database/ldb_writer.h"
#include "recording/serial_link.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"

#include <boost/asio/post.hpp>
#include <boost/format.hpp>
#include <opencv2/core.hpp>
#include <wx/filename.h>

#include <chrono>
#include <filesystem>
#include <future>

namespace {
// The skipped figure assumes the odometer counts this much between messages.
constexpr uint32_t kCountsPerMessage = 5;
}  // namespace

write_thread::write_thread(const app_link_ptr& link, const std::string& session_code,
                           frame_buffer& frame)
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
      decoder_(format_),
      session_code_(session_code),
      port_(io_) {
    if (!wxFileName::DirExists(from_narrow(write_folder_))) {
        wxFileName::Mkdir(from_narrow(write_folder_), 0777, wxPATH_MKDIR_FULL);
    }
}

write_thread::~write_thread() {
    coordinates_.reset();  // before the io_context its objects live on
}

void write_thread::stop() {
    io_.stop();
}

std::string write_thread::get_session_code() const {
    std::lock_guard<std::mutex> lock(code_guard_);
    return session_code_;
}

wxString write_thread::status_text(odometer_format format, uint32_t value, uint32_t written,
                                   uint32_t skipped, uint32_t failures) {
    // The skipped figure is unsigned arithmetic shown signed, so a surplus reads as negative.
    return wxString::Format(L"ДПП[%d]: %u Записано: %u Пропущено: %d Сбоев: %u", format, value,
                            written, static_cast<int32_t>(skipped), failures);
}

std::string write_thread::folder_name(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y.%m.%d %H.%M.%S", &local);
    return text;
}

wxThread::ExitCode write_thread::Entry() {
    ExitCode result = 0;
    try {
        try {
            port_.open(port_path_);
        } catch (const std::exception&) {
            link_->post_error(wxString::Format(L"Не удалось открыть последовательный порт: %s",
                                               from_narrow(port_path_)));
            loop_ended_ = true;
            return reinterpret_cast<ExitCode>(-1);
        }
        apply_odometer_line_settings(port_);
        link_->post_info(wxString::Format(L"Последовательный порт: %s", from_narrow(port_path_)));
        start_read();
        if (coordinate_enabled_) {
            coordinates_ = std::make_unique<coordinate_client>(
                io_, coordinate_host_, coordinate_service_, coordinate_period_, link_,
                [this](const std::string& code) { apply_session_code(code); });
            coordinates_->start();
        }
        io_.run();
        loop_ended_ = true;
        port_.close();
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
        result = reinterpret_cast<ExitCode>(-1);
    } catch (...) {
        link_->post_error("Unknown exception in write thread");
        result = reinterpret_cast<ExitCode>(-1);
    }
    loop_ended_ = true;
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
}

void write_thread::start_read() {
    port_.async_read_some(
        boost::asio::buffer(&byte_, 1),
        [this](const boost::system::error_code& ec, size_t n) { on_byte(ec, n); });
}

void write_thread::on_byte(const boost::system::error_code& ec, size_t n) {
    if (ec || n != 1) {
        if (ec != boost::asio::error::operation_aborted) {
            link_->post_error("Error reading serial serial_port.");
        }
        return;
    }
    if (const auto value = decoder_.push(byte_)) {
        try {
            on_odometer_value(*value, format_);
        } catch (const std::exception& e) {
            link_->post_error(from_narrow(e.what()));
            return;
        }
    }
    start_read();
}

void write_thread::open_session() {
    // A second session within the same second takes the next free second's
    // name rather than reopening (and overwriting) the first.
    std::time_t when = std::time(nullptr);
    std::string path;
    do {
        path = (std::filesystem::path(write_folder_) / folder_name(when++)).string();
    } while (std::filesystem::exists(path));
    ldb_writer::live().open(path);
}

void write_thread::close_session() {
    ldb_writer& live = ldb_writer::live();
    if (!live.is_open()) return;
    bool missing_start = false;
    ldb_info info = live.read_info(&missing_start);
    if (missing_start) link_->post_error(L"Не задано время начала проезда");
    const std::string path = live.path();
    const uint64_t count = live.count();
    const std::string code = get_session_code();
    live.close(code, side_);
    // Every closed session with frames joins the catalogue at once, whether
    // it ended with the run, an odometer reset or a new session code.
    if (count != 0) {
        info.session = code;
        info.side = side_;
        wxThreadEvent event(evt_db_list, wxID_ANY);
        event.SetString(from_narrow(path));
        event.SetPayload(info);
        link_->post(event);
    }
}

void write_thread::on_odometer_value(uint32_t value, odometer_format format) {
    ldb_writer& live = ldb_writer::live();
    if (value < last_value_ && live.is_open()) {
        link_->post_info(wxString::FromUTF8(
            (boost::format("dpp reset: %1% to %2%") % last_value_ % value).str()));
        close_session();
    }
    last_value_ = value;
    if (!live.is_open()) open_session();
    if (live.is_open()) {
        copy_gray8(frame_, image_);
        const cv::Mat& image = image_;
        if (image.empty()) {
            ++failures_;
        } else {
            const std::time_t now = std::time(nullptr);
            if (live.count() == 0) {
                live.put_dpp_start(value);
                live.put_time_start(now);
            }
            live.put_dpp_end(value);
            live.put_time_end(now);
            live.put_frame(image, value);
        }
    }
    const uint32_t written = static_cast<uint32_t>(live.count());
    const uint32_t skipped =
        (live.read_dpp_end() - live.read_dpp_start()) / kCountsPerMessage - written + 1;
    link_->post(evt_dpp_status, status_text(format, value, written, skipped, failures_));
}

void write_thread::apply_session_code(const std::string& code) {
    {
        std::lock_guard<std::mutex> lock(code_guard_);
        if (code == session_code_) return;
    }
    if (!get_session_code().empty()) close_session();
    link_->post_info(wxString::Format("New session started (id: %s)", from_narrow(code)));
    std::lock_guard<std::mutex> lock(code_guard_);
    session_code_ = code;
}

void write_thread::set_session_code(const std::string& code) {
    if (wxThread::GetCurrentId() == GetId()) {
        apply_session_code(code);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> applied = done->get_future();
    boost::asio::post(io_, [this, code, done] {
        apply_session_code(code);
        done->set_value();
    });
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
