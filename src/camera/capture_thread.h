// Keeps the camera streaming and leaves the newest frame in the frame_buffer.
//
// Twenty camera buffers circulate between the camera and this thread; each
// delivered frame is copied into the frame_buffer under its exclusive lock,
// statistics go to status field 0 after every frame and every 1000 ms wait
// that timed out, and every tenth frame the stream information makes the
// main window refresh its preview. A GigE Vision camera's packet size, as
// negotiated when the stream is made, goes to the journal.
//
// The frame_buffer tells its readers whether the capture runs and when it
// last delivered, so nothing is recorded that the camera did not deliver.
//
// A camera that is lost (its stream fails, its set-up fails) is looked for
// again every 2 s through the owner's reopen function, and the capture
// resumes on the camera it gives back; without one the thread ends.
//
// Joinable: the owner calls request_stop() from any thread, then Wait() and
// delete. A stop requested before the thread has made its wait condition
// still takes effect: the thread checks for it once the condition exists.
// Every SDK object the thread made is released on every path out of Run.
#pragma once

#include "runtime/app_link.h"
#include "camera/frame_buffer.h"
#include "camera/sdk/Jai_Factory.h"

#include <wx/thread.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class capture_thread : public wxThread {
  public:
    // Closes the lost camera and opens it again: the new handle, or null when
    // it does not answer yet. Called on the capture thread.
    using reopen_function = std::function<CAM_HANDLE()>;

    capture_thread(const app_link_ptr& link, CAM_HANDLE camera, frame_buffer& frame,
                   reopen_function reopen = {});
    ~capture_thread() override;

    // Asks the thread to leave its loop (the SDK's exit condition).
    void request_stop();

    // "delivered: N lost: N await: N corrupt: N fps: N"
    static std::string statistics_text(uint64_t delivered, uint64_t lost, uint64_t await,
                                       uint64_t corrupt, uint64_t fps);
    // "timestamp: T missing packets: M queued buffers: Q"
    static std::string stream_info_text(uint64_t timestamp, uint32_t missing, uint32_t queued);

  protected:
    ExitCode Entry() override;

  private:
    enum class attempt_end { stopped, lost, set_up_failed };
    // Sets up, streams and tears down once. `looking`: the camera was lost,
    // so set-up failures are expected and not journalled.
    attempt_end attempt(bool looking);
    void set_up();
    // True when the owner asked to stop; false when the stream failed.
    bool stream_loop();
    void post_statistics();
    J_tIMAGE_INFO buffer_info(BUF_HANDLE buffer);
    void tear_down();

    app_link_ptr link_;
    CAM_HANDLE camera_;
    frame_buffer& frame_;
    const bool rotate_;

    STREAM_HANDLE stream_ = nullptr;
    std::map<BUF_HANDLE, std::unique_ptr<uint8_t[]>> buffers_;
    EVT_HANDLE event_ = nullptr;  // set while the new-buffer event is registered
    bool acquisition_started_ = false;
    bool camera_started_ = false;
    std::time_t start_time_ = 0;

    const reopen_function reopen_;

    std::mutex condition_guard_;
    J_COND_HANDLE condition_ = nullptr;  // guarded by condition_guard_
    std::condition_variable retry_cv_;   // with condition_guard_: wakes the look for a camera
    std::atomic<bool> stop_requested_{false};
};

// Starts a joinable capture thread at the highest priority; throws on failure.
capture_thread* start_capture_thread(const app_link_ptr& link, CAM_HANDLE camera,
                                     frame_buffer& frame,
                                     capture_thread::reopen_function reopen = {});
// Asks the thread to stop, waits for it and deletes it; nothing when null.
void stop_capture_thread(capture_thread*& thread);
