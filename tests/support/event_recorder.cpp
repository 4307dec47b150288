#include "support/event_recorder.h"

event_recorder::~event_recorder() {
    for (wxEvent* e : queued_)
        delete e;
}

void event_recorder::QueueEvent(wxEvent* event) {
    std::lock_guard<std::mutex> lock(guard_);
    queued_.push_back(event);
}

void event_recorder::drain() {
    std::vector<wxEvent*> taken;
    {
        std::lock_guard<std::mutex> lock(guard_);
        taken.swap(queued_);
    }
    for (wxEvent* e : taken) {
        if (auto* t = dynamic_cast<wxThreadEvent*>(e)) {
            recorded_event r{t->GetEventType(), t->GetString(), t->GetInt(), {}};
            if (t->GetEventType() == evt_db_list) r.info = t->GetPayload<ldb_info>();
            events.push_back(r);
        }
        delete e;
    }
}

std::vector<wxString> event_recorder::texts(wxEventType type) const {
    std::vector<wxString> out;
    for (const auto& e : events) {
        if (e.type == type) out.push_back(e.text);
    }
    return out;
}
