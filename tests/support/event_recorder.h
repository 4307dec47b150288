// Stands in for the main window in headless tests: takes every thread event
// queued to it, from any thread, and records it in order when drained.
#pragma once

#include "database/ldb_info.h"
#include "runtime/thread_events.h"

#include <wx/event.h>

#include <mutex>
#include <vector>

struct recorded_event {
    wxEventType type;
    wxString text;
    int value;
    ldb_info info;  // evt_db_list only
};

class event_recorder : public wxEvtHandler {
  public:
    ~event_recorder() override;
    // Any thread, as wxQueueEvent calls it; takes ownership of the event.
    void QueueEvent(wxEvent* event) override;
    // Moves everything queued so far into `events`. Test thread only.
    void drain();
    // Texts of the recorded events of one type.
    std::vector<wxString> texts(wxEventType type) const;
    std::vector<recorded_event> events;

  private:
    std::mutex guard_;
    std::vector<wxEvent*> queued_;  // guarded by guard_
};
