// Turns odometer messages into session databases: at every odometer value
// the newest frame of the frame_buffer is JPEG-encoded into the live
// database under the value. A session opens on the first value with a frame
// to store, and closes when the count goes backwards, when the session code
// changes and when the thread ends; every closed session with frames is
// reported as evt_db_list.
//
// Nothing is stored that the camera did not deliver: a value that finds no
// frame the running capture delivered within the last 2 s counts as a
// failure. Whatever keeps frames from being stored (no frames, no capture,
// the odometer's line lost, a failed store write, a disk nearly full) is a
// fault: one red journal row when it begins, one blue row when it ends, and
// its bit in every status event (see recording_fault), posted within half a
// second of a change even when no odometer value arrives. The thread recovers
// by itself: the line is reopened every second, a failed store is closed and
// a new session opened at a later value (at most once every 5 s), and a
// session the store failed in is finished from its frames once storing works
// again.
//
// The odometer's line, the coordinate client and the supervision timer run
// on one I/O loop on this thread; every handler, set_session_code included,
// runs there one at a time. Joinable: the owner calls stop() from any thread,
// then Wait() and delete. The run closes and reports its session however it
// ends, so nothing stays open into the next recording.
#pragma once

#include "camera/frame_buffer.h"
#include "database/ldb_info.h"
#include "recording/odometer_protocol.h"
#include "runtime/app_link.h"
#include "runtime/thread_events.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <opencv2/core.hpp>
#include <wx/thread.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class coordinate_client;
class odometer_link;

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

    // One recording step. Called on the I/O loop by the odometer's line;
    // callable directly only while the loop does not run (measurements).
    void on_odometer_value(uint32_t value, odometer_format format);

  protected:
    ExitCode Entry() override;

  private:
    using clock = std::chrono::steady_clock;

    // Every half second: the faults that no odometer value may reveal.
    void supervise();
    void check_frame(frame_freshness state);
    void check_disk();
    // Sets or clears a fault, with its journal row when it changes.
    void set_fault(recording_fault fault, bool on, const wxString& begin_row = {});
    void post_status(const wxString& text);

    // Stores the frame under the value; false when nothing could be stored.
    bool store(uint32_t value, const cv::Mat& image);
    void store_failed(const std::string& error);
    void finish_unclosed_sessions();
    void apply_session_code(const std::string& code);
    void open_session();
    void close_session();
    void report(const std::string& path, const ldb_info& info);
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

    // State below is used on the loop's thread only (or after it ended).
    uint32_t last_value_ = 0;
    uint32_t failures_ = 0;
    cv::Mat image_;                       // the frame being recorded, reused from step to step
    int faults_ = 0;                      // recording_fault bits
    int posted_faults_ = 0;               // as last posted
    clock::time_point reopen_allowed_{};  // after a failed store
    // Sessions the store failed in, with their session codes.
    std::vector<std::pair<std::string, std::string>> unfinished_;
    std::deque<std::pair<clock::time_point, size_t>> written_;  // bytes of recent frames

    mutable std::mutex code_guard_;
    std::string session_code_;  // guarded by code_guard_ (written on the loop only)

    std::mutex end_guard_;  // held while the thread closes its session after the loop
    std::atomic<bool> loop_ended_{false};

    boost::asio::io_context io_;
    boost::asio::steady_timer supervision_;
    std::unique_ptr<odometer_link> odometer_;
    std::unique_ptr<coordinate_client> coordinates_;
};
