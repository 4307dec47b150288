// The upload thread's work list, shared by the window, which adds sessions
// and takes them back, and the upload thread, which works through it in
// order. Each session folder is on the list at most once.
//
// release() is how a command that changes or removes a database (relabel,
// delete, zip, view) gets it back at once: the session leaves the list, and
// when it is the one being worked on, the transfer in flight is aborted and
// release() returns once the thread has let go of the database (within
// about a second, at most kReleaseLimit).
//
// stop() (from app_link::detach(), or the window) ends the thread: the
// transfer in flight is aborted and next() answers nothing from then on.
//
// Safe from any thread; `guard_` protects everything below it.
#pragma once

#include "runtime/app_link.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class s3_client;

struct upload_job {
    enum kind_t {
        upload,                // send the session, verify it, mark it stored
        check,                 // a session the state lists as stored: is its manifest still it?
        discard,               // the session was deleted here: remove its unfinished chunks
        confirm_for_deletion,  // verify the stored session again before it is deleted
    };
    kind_t kind = upload;
    std::string folder;  // the session database's path, as the system names it
    bool operator==(const upload_job& other) const {
        return kind == other.kind && folder == other.folder;
    }
};

class upload_queue : public stoppable {
  public:
    static constexpr std::chrono::seconds kReleaseLimit{2};

    // Appends the job unless the same one is waiting or in progress; false then.
    bool add(const upload_job& job);
    // Puts the job back at the front (after an outage, to try again).
    void put_back(const upload_job& job);
    // Takes every job on `folder` off the list, aborting the one in progress.
    // True when a job on it was waiting or in progress.
    bool release(const std::string& folder);
    // Whether an upload of `folder` waits or runs.
    bool has_upload(const std::string& folder) const;
    // The folders of the uploads waiting, in order.
    std::vector<std::string> waiting_uploads() const;

    void stop() override;
    bool stopping() const;

    // Upload thread only. The client whose transfers abort() ends (null: none).
    void set_client(s3_client* client);
    // Waits for the next job and marks it in progress; nothing once stopped.
    std::optional<upload_job> next();
    // The job in progress is over (done, failed or let go).
    void finish();
    // Waits for `pause`, or less when stopped or a job was added; true unless stopped.
    bool pause(std::chrono::milliseconds pause);

  private:
    mutable std::mutex guard_;
    // State below is protected by guard_.
    std::deque<upload_job> jobs_;
    std::optional<upload_job> current_;
    s3_client* client_ = nullptr;
    bool stopping_ = false;
    bool woken_ = false;  // a job was added during a pause
    std::condition_variable changed_;
};
