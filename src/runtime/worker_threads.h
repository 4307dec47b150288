// The worker threads a window starts (network services, database scans), kept
// joinable so that none outlives the window: a thread that is still ending
// while the process exits runs into the libraries' static destructors.
//
// run() starts a thread and takes it over; threads that have ended are
// joined and deleted at the next run(). join_all() waits for every thread:
// the owner first makes them end (app_link::detach() stops the services and
// abandons the scans). The destructor joins what is left.
//
// Main thread only: nothing here is shared with the workers.
#pragma once

#include <wx/thread.h>

#include <memory>
#include <vector>

class worker_threads {
  public:
    worker_threads() = default;
    worker_threads(const worker_threads&) = delete;
    worker_threads& operator=(const worker_threads&) = delete;
    ~worker_threads();

    // Starts `thread`, which must be joinable. Throws std::runtime_error with
    // `failure` when it cannot start (the thread is deleted then).
    void run(std::unique_ptr<wxThread> thread, const char* failure);
    // Waits for every thread to end and deletes it.
    void join_all();
    size_t size() const { return threads_.size(); }

  private:
    void join_ended();

    std::vector<std::unique_ptr<wxThread>> threads_;
};
