#include "event_recorder.h"

event_recorder::event_recorder() {
    for (const wxEventTypeTag<wxThreadEvent>* type :
         {&evt_stream_info, &evt_dpp_status, &evt_thread_status, &evt_grab_stats, &evt_log_error,
          &evt_log_info, &evt_rc_command, &evt_db_list}) {
        Bind(*type, [this](wxThreadEvent& e) {
            recorded_event r{e.GetEventType(), e.GetString(), e.GetInt(), {}};
            if (e.GetEventType() == evt_db_list)
                r.info = e.GetPayload<ldb_info>();
            events.push_back(r);
        });
    }
}

void event_recorder::drain() {
    // ProcessPendingEvents() handles one event a call.
    while (m_pendingEvents && !m_pendingEvents->IsEmpty())
        ProcessPendingEvents();
}

std::vector<wxString> event_recorder::texts(wxEventType type) const {
    std::vector<wxString> out;
    for (const auto& e : events) {
        if (e.type == type)
            out.push_back(e.text);
    }
    return out;
}
