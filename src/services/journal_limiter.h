// Journal rows that network peers cause, limited so that no peer, and no
// crowd of peers with forged addresses, can flood the journal or the window.
//
// A row has a kind (what happened: "Incoming connection from", "Bad
// discovery datagram") and a source (the peer's address, or "" for the
// service itself). Within one window of time (a second by default) a kind
// passes at most `per_source` rows from each source and `per_kind` rows from
// all sources together; further rows are only counted. Once its window has
// passed, every kind and source with rows counted gives one summary, so the
// journal says how many rows it left out. Sources beyond `max_sources` within
// one window are counted together under kOtherSources. Events that come in
// bursts (connections closed at the limit) are told once per burst instead.
//
// Time is passed in, so the limiter is tested without waiting. Safe from any
// thread; guard_ guards all state.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class journal_limiter {
  public:
    using clock = std::chrono::steady_clock;

    struct limits {
        unsigned per_source = 3;
        unsigned per_kind = 20;
        clock::duration window = std::chrono::seconds(1);
        size_t max_sources = 64;
    };

    // Rows left out of one kind from one source (or from kOtherSources).
    struct summary {
        std::string kind;
        std::string source;
        unsigned suppressed = 0;
        bool error = false;
        // "N more rows "kind" from SOURCE suppressed"
        std::string text() const;
    };

    static constexpr const char* kOtherSources = "other addresses";

    journal_limiter() : journal_limiter(limits{}) {}
    explicit journal_limiter(limits l) : limits_(l) {}

    // Whether the row may go to the journal now; when not, it is counted.
    bool admit(const std::string& kind, const std::string& source, bool error,
               clock::time_point now);

    // Summaries of the windows that have passed by `now`, and forgets them.
    std::vector<summary> expire(clock::time_point now);

    // Whether an event of this kind begins a burst, that is none came within
    // `quiet` before it. A burst is told by one row, at its start.
    bool begins_burst(const std::string& kind, clock::time_point now, clock::duration quiet);

  private:
    struct counter {
        clock::time_point window_start;
        unsigned passed = 0;
        unsigned suppressed = 0;
        bool error = false;
    };
    using key = std::pair<std::string, std::string>;  // kind, source

    static void close_window(const key& k, const counter& c, std::vector<summary>& out);

    const limits limits_;
    std::mutex guard_;
    // State below is protected by guard_.
    std::map<key, counter> sources_;
    std::map<std::string, counter> kinds_;             // all sources of a kind together
    std::vector<summary> pending_;                     // windows closed by admit(), not yet expired
    std::map<std::string, clock::time_point> bursts_;  // the last event of each kind
};
