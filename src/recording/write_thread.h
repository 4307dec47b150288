// Turns odometer messages into session databases: at every odometer value
// the newest frame of the frame_buffer is JPEG-encoded into the live
// database under the value. A session opens on the first value, and closes
// when the count goes backwards, when the session code changes and when the
// thread ends; every closed session with frames is reported as evt_db_list.
//
// The odometer's serial reads and the coordinate client run on one I/O loop
// on this thread; every handler, set_session_code included, runs there one at
// a time. Joinable: the owner calls stop() from any thread, then Wait() and
// delete. A run that ends through an error still closes and reports its
// session, so nothing stays open into the next recording.
#pragma once

#include "runtime/app_link.h"
#include "camera/frame_buffer.h"
#include "recording/odometer_protocol.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#include <opencv2/core.hpp>
#include <wx/thread.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

class coordinate_client;

class write_thread : public wxThread {
  public:
    write_thread(const app_link_ptr& link, const std::string& session_code, frame_buffer& frame);
    ~write_thread() override;

    // Stops the I/O loop; safe from any thread, before or during the run.
    void stop();

    // From any thread: runs on the I/O loop (or, once the loop has ended,
    // under the thread's end guard), never interleaved with a recording step.
    void set_session_code(const std::string& code);
    std::string get_session_code() const;

    // The status text of one odometer value.
    static wxString status_text(odometer_format format, uint32_t value, uint32_t written,
                                uint32_t skipped, uint32_t failures);
    // Folder name of a session opened at `time` (local "%Y.%m.%d %H.%M.%S").
    static std::string folder_name(std::time_t time);

    // One recording step. Called on the I/O loop by the serial reads; callable
    // directly only while the loop does not run (measurements).
    void on_odometer_value(uint32_t value, odometer_format format);

  protected:
    ExitCode Entry() override;

  private:
    void start_read();
    void on_byte(const boost::system::error_code& ec, size_t n);
    void apply_session_code(const std::string& code);
    void open_session();
    void close_session();
    void finish();

    app_link_ptr link_;
    frame_buffer& frame_;
    // Configuration, read once at construction.
    std::string port_path_;
    odometer_format format_;
    bool coordinate_enabled_;
    std::string coordinate_host_;
    std::string coordinate_service_;
    uint32_t coordinate_period_;
    std::string side_;
    std::string write_folder_;

    uint32_t last_value_ = 0;
    uint32_t failures_ = 0;
    uint8_t byte_ = 0;
    odometer_decoder decoder_;
    cv::Mat image_;  // the frame being recorded, reused from step to step

    mutable std::mutex code_guard_;
    std::string session_code_;  // guarded by code_guard_ (written on the loop only)

    std::mutex end_guard_;  // held while the thread closes its session after the loop
    std::atomic<bool> loop_ended_{false};

    boost::asio::io_context io_;
    boost::asio::serial_port port_;
    std::unique_ptr<coordinate_client> coordinates_;
};
