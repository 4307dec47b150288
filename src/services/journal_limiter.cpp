#include "services/journal_limiter.h"

std::string journal_limiter::summary::text() const {
    std::string out = std::to_string(suppressed) + " more rows \"" + kind + "\"";
    if (!source.empty()) out += " from " + source;
    return out + " suppressed";
}

bool journal_limiter::admit(const std::string& kind, const std::string& source, bool error,
                            clock::time_point now) {
    std::lock_guard<std::mutex> lock(guard_);
    counter& all = kinds_[kind];
    if (all.passed == 0 || now - all.window_start >= limits_.window) all = {now, 0, 0, false};

    key k{kind, source};
    auto it = sources_.find(k);
    if (it != sources_.end() && now - it->second.window_start >= limits_.window) {
        // Its window has passed: what it left out is told before its next rows.
        close_window(it->first, it->second, pending_);
        sources_.erase(it);
        it = sources_.end();
    }
    if (it == sources_.end()) {
        if (sources_.size() >= limits_.max_sources) k.second = kOtherSources;
        it = sources_.try_emplace(k, counter{now, 0, 0, false}).first;
    }
    counter& one = it->second;
    if (one.passed < limits_.per_source && all.passed < limits_.per_kind) {
        ++one.passed;
        ++all.passed;
        return true;
    }
    ++one.suppressed;
    one.error = one.error || error;
    return false;
}

std::vector<journal_limiter::summary> journal_limiter::expire(clock::time_point now) {
    std::lock_guard<std::mutex> lock(guard_);
    std::vector<summary> out;
    out.swap(pending_);
    for (auto it = sources_.begin(); it != sources_.end();) {
        if (now - it->second.window_start >= limits_.window) {
            close_window(it->first, it->second, out);
            it = sources_.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(kinds_, [&](const auto& entry) {
        return now - entry.second.window_start >= limits_.window;
    });
    return out;
}

bool journal_limiter::begins_burst(const std::string& kind, clock::time_point now,
                                   clock::duration quiet) {
    std::lock_guard<std::mutex> lock(guard_);
    const auto [it, first] = bursts_.try_emplace(kind, now);
    const bool begins = first || now - it->second >= quiet;
    it->second = now;
    return begins;
}

void journal_limiter::close_window(const key& k, const counter& c, std::vector<summary>& out) {
    if (c.suppressed > 0) out.push_back({k.first, k.second, c.suppressed, c.error});
}
