#include "runtime/app_link.h"

#include "runtime/thread_events.h"

app_link::app_link(wxEvtHandler* window, wxConfigBase* config) : window_(window), config_(config) {}

bool app_link::post(const wxThreadEvent& event) {
    std::lock_guard<std::mutex> lock(guard_);
    if (!window_) return false;
    wxQueueEvent(window_, event.Clone());
    return true;
}

bool app_link::post(wxEventType type, const wxString& text, int value) {
    wxThreadEvent event(type, wxID_ANY);
    event.SetString(text);
    event.SetInt(value);
    return post(event);
}

bool app_link::post_info(const wxString& text) {
    return post(evt_log_info, text);
}

bool app_link::post_error(const wxString& text) {
    return post(evt_log_error, text);
}

wxString app_link::read_text(const wxString& key, const wxString& fallback) const {
    std::lock_guard<std::mutex> lock(guard_);
    return config_ ? config_->Read(key, fallback) : fallback;
}

bool app_link::read_bool(const wxString& key, bool fallback) const {
    std::lock_guard<std::mutex> lock(guard_);
    return config_ ? config_->ReadBool(key, fallback) : fallback;
}

double app_link::read_double(const wxString& key, double fallback) const {
    std::lock_guard<std::mutex> lock(guard_);
    return config_ ? config_->ReadDouble(key, fallback) : fallback;
}

long app_link::read_long(const wxString& key, long fallback) const {
    std::lock_guard<std::mutex> lock(guard_);
    return config_ ? config_->Read(key, fallback) : fallback;
}

void app_link::detach() {
    std::vector<std::weak_ptr<stoppable>> workers;
    {
        std::lock_guard<std::mutex> lock(guard_);
        window_ = nullptr;
        config_ = nullptr;
        workers.swap(workers_);
    }
    for (auto& weak : workers) {
        if (auto worker = weak.lock()) worker->stop();
    }
}

void app_link::stop_at_detach(const std::shared_ptr<stoppable>& worker) {
    {
        std::lock_guard<std::mutex> lock(guard_);
        if (window_) {
            std::erase_if(workers_, [](const auto& w) { return w.expired(); });
            workers_.push_back(worker);
            return;
        }
    }
    worker->stop();
}

bool app_link::attached() const {
    std::lock_guard<std::mutex> lock(guard_);
    return window_ != nullptr;
}
