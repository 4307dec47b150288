// Stands in for the main window in headless tests: records every thread
// event queued to it, in order.
#pragma once

#include "ldb_info.h"
#include "thread_events.h"

#include <wx/event.h>

#include <vector>

struct recorded_event {
    wxEventType type;
    wxString text;
    int value;
    ldb_info info;  // evt_db_list only
};

class event_recorder : public wxEvtHandler {
  public:
    event_recorder();
    // Handles everything queued so far.
    void drain();
    // Texts of the recorded events of one type.
    std::vector<wxString> texts(wxEventType type) const;
    std::vector<recorded_event> events;
};
