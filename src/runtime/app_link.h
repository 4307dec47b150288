// app_link is the one way a worker thread reaches the main window: it queues
// copies of thread events to the window and reads the configuration object.
//
// The main window creates the link before it starts any worker and calls
// detach() first thing in its destructor. From then on post() drops events
// and the reads answer their defaults without touching the configuration, so
// no worker, detached or not, ever delivers to a window being destroyed or
// reads a configuration object that is being deleted.
//
// Every member is safe to call from any thread. The configuration object is
// not safe for concurrent use, so the user-interface thread also reaches it
// through with_config() while workers may be running.
#pragma once

#include <wx/confbase.h>
#include <wx/event.h>

#include <memory>
#include <mutex>
#include <vector>

// Something a worker owns that must end when the window goes (a listening
// service, for example). stop() is called once, from the thread that detaches.
class stoppable {
  public:
    virtual ~stoppable() = default;
    virtual void stop() = 0;
};

class app_link {
  public:
    app_link(wxEvtHandler* window, wxConfigBase* config);
    app_link(const app_link&) = delete;
    app_link& operator=(const app_link&) = delete;

    // Queues a copy of the event to the window; false once detached.
    bool post(const wxThreadEvent& event);
    // Queues an event of the given type with a text and an integer.
    bool post(wxEventType type, const wxString& text, int value = 0);
    // A journal row for the window to write: evt_log_info (blue), evt_log_error (red).
    bool post_info(const wxString& text);
    bool post_error(const wxString& text);

    // Reads with the reader's default; after detach() the default is answered.
    wxString read_text(const wxString& key, const wxString& fallback) const;
    bool read_bool(const wxString& key, bool fallback) const;
    double read_double(const wxString& key, double fallback) const;
    long read_long(const wxString& key, long fallback) const;

    // Runs fn(wxConfigBase&) under the guard; false (fn not run) once detached.
    template <typename F>
    bool with_config(F&& fn) {
        std::lock_guard<std::mutex> lock(guard_);
        if (!config_) return false;
        fn(*config_);
        return true;
    }

    // Stops all delivery and configuration access; waits for any in progress.
    // Then stops every registered worker that still exists.
    void detach();
    bool attached() const;

    // Registers a worker to stop at detach(); held weakly, so a worker that
    // has ended by itself costs nothing. Once detached, stops it at once.
    void stop_at_detach(const std::shared_ptr<stoppable>& worker);

  private:
    mutable std::mutex guard_;
    // State below is protected by guard_.
    wxEvtHandler* window_;
    wxConfigBase* config_;
    std::vector<std::weak_ptr<stoppable>> workers_;
};

using app_link_ptr = std::shared_ptr<app_link>;
