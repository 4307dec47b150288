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
// Each value's frame is copied when its message is read and JPEG-encoded on
// a pool of encoder threads (frame_pipeline); the frames, the session's
// metadata and the status events are written in message order on this
// thread. When the pipeline is full the next messages wait in the line; a
// message that had to wait gets the frame that is newest when it is read,
// is counted as late, and the recording shows that it falls behind.
//
// The odometer's line, the coordinate client, the supervision timer and the
// writing run on one I/O loop on this thread; every handler, session-code
// changes included, runs there one at a time. Joinable: the owner calls
// stop() from any thread, then Wait() and delete; the thread stops reading,
// stores every frame it has copied, closes and reports its session, and
// ends, however the run ended, so nothing stays open into the next
// recording.
#pragma once

#include "camera/frame_buffer.h"
#include "database/ldb_info.h"
#include "recording/frame_pipeline.h"
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

// What keeps a recording from storing frames: the bits of evt_dpp_status's int.
enum recording_fault : int {
    fault_no_frames = 1,        // the camera has delivered nothing for a while
    fault_capture_stopped = 2,  // the capture thread is not running
    fault_odometer_lost = 4,    // the odometer's line is not open
    fault_store_failed = 8,     // writing the session database failed
    fault_disk_low = 16,        // little room left on the write folder's disk
    fault_behind = 32,          // messages wait in the line: frames are stored late
};

class write_thread : public wxThread {
  public:
    // `encoders`: JPEG encoder threads; 0 encodes on this thread.
    write_thread(const app_link_ptr& link, const std::string& session_code, frame_buffer& frame,
                 size_t encoders = default_encoders());
    ~write_thread() override;

    // Ends the run in order (see above); safe from any thread, before or
    // during the run.
    void stop();

    // As many as the machine has cores.
    static size_t default_encoders();

    // From any thread: runs on the I/O loop (or, once the loop has ended,
    // under the thread's end guard), never interleaved with a recording step.
    void set_session_code(const std::string& code);
    std::string get_session_code() const;

    // The status text of one odometer value.
    static wxString status_text(odometer_format format, uint32_t value, uint32_t written,
                                uint32_t skipped, uint32_t failures);

    // One odometer message: its frame goes into the pipeline. Called on the
    // I/O loop by the odometer's line; callable directly only while the loop
    // does not run, with no encoders (measurements).
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

    // The writing of one message, or one change, in message order.
    void write_entry(frame_pipeline::entry& entry);
    // Stores the encoded frame under the value; false when nothing was stored.
    bool store(uint32_t value, const std::vector<uint8_t>& jpeg);
    void begin_stop();
    // Queues a session-code change behind the messages read so far.
    void queue_session_code(const std::string& code, std::function<void()> applied = {});
    void store_failed(const std::string& error);
    void finish_unclosed_sessions();
    void apply_session_code(const std::string& code);
    void open_session();
    void close_session();
    void report(const std::string& path, const ldb_info& info);
    void post_coverage();
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
    uint32_t late_ = 0;     // frames stored late since the recording fell behind
    bool backlog_ = false;  // the line was left waiting: messages read now are late
    clock::time_point last_late_{};
    bool stopping_ = false;
    int faults_ = 0;                      // recording_fault bits
    int posted_faults_ = 0;               // as last posted
    clock::time_point reopen_allowed_{};  // after a failed store
    // The frame keys of the open session, in order, for its coverage.
    std::vector<uint32_t> session_keys_;
    size_t posted_keys_ = 0;  // keys the last coverage event covered
    // Sessions the store failed in, with their session codes.
    std::vector<std::pair<std::string, std::string>> unfinished_;
    std::deque<std::pair<clock::time_point, size_t>> written_;  // bytes of recent frames

    mutable std::mutex code_guard_;
    std::string session_code_;  // guarded by code_guard_ (written on the loop only)

    std::mutex end_guard_;  // held while the thread closes its session after the loop
    std::atomic<bool> loop_ended_{false};

    boost::asio::io_context io_;
    boost::asio::steady_timer supervision_;
    std::unique_ptr<frame_pipeline> pipeline_;
    std::unique_ptr<odometer_link> odometer_;
    std::unique_ptr<coordinate_client> coordinates_;
};
