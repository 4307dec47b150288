// The highest odometer message rate a recording sustains, for the
// benchmarks that compare it under different loads: a 3 s run at a rate on
// a pseudo-terminal line, and the search for the highest share of one
// step's rate that is kept up.
#pragma once

#include "bench_util.h"
#include "camera/frame_buffer.h"
#include "database/ldb_writer.h"
#include "recording/odometer_protocol.h"
#include "recording/write_thread.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "runtime/thread_events.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <shared_mutex>
#include <initializer_list>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// Counts status lines and gathers the fault bits, without a window.
// Waits until the capture has delivered a few frames (the simulator draws
// its scene first), at most 20 s: a step taken without a frame stores
// nothing and would make every rate look reachable.
inline void wait_for_frames(frame_buffer& frame) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        {
            std::shared_lock<std::shared_mutex> lock(frame.lock);
            if (frame.delivered >= 3) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::fprintf(stderr, "the camera delivered no frames\n");
    std::exit(1);
}

class rate_counter : public wxEvtHandler {
  public:
    std::atomic<uint64_t> lines{0};
    std::atomic<int> faults{0};
    void QueueEvent(wxEvent* event) override {
        if (event->GetEventType() == evt_dpp_status) {
            auto* e = static_cast<wxThreadEvent*>(event);
            if (!e->GetString().empty()) ++lines;
            faults |= e->GetInt();
        }
        delete event;
    }
};

struct line_pair {
    int master = -1, slave = -1;
    std::string path;
    line_pair() {
        char name[256];
        openpty(&master, &slave, name, nullptr, nullptr);
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        path = name;
    }
    ~line_pair() {
        close(master);
        close(slave);
    }
};

// True when the recording stores every message of a 3 s run at `rate` a
// second, after a second at half the rate as a vehicle gathers speed (the
// pipeline's and the store's buffers are first touched then); never behind
// (no message read late); and all stored within two periods and two steps
// of the last: the last frame's way through an encoder takes about one
// step, so a backlog that grew shows.
inline bool keeps_up(const app_link_ptr& link, wxConfigBase& config, rate_counter& sink,
                     frame_buffer& frame, size_t encoders, double rate, double step_seconds) {
    line_pair line;
    config.Write(cfg::dpp_port, wxString(line.path));
    auto* writer = new write_thread(link, "", frame, encoders);
    writer->Run();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the line opens
    sink.faults = 0;
    const uint64_t before = sink.lines.load();
    const int gathering = int(rate / 2);
    const int messages = gathering + std::max(40, int(rate * 3));
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / rate));
    auto next = std::chrono::steady_clock::now();
    uint8_t m[7];
    for (int i = 0; i < messages; ++i) {
        encode_odometer_new(uint32_t(1000 + 5 * i), m);
        if (write(line.master, m, 7) != 7) break;
        next += i < gathering ? 2 * period : period;
        std::this_thread::sleep_until(next);
    }
    const auto deadline = std::chrono::steady_clock::now() + 2 * period +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(2 * step_seconds));
    while (sink.lines.load() - before < uint64_t(messages) &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const uint64_t stored = sink.lines.load() - before;
    const bool behind = sink.faults.load() & fault_behind;
    const bool kept_up = stored == uint64_t(messages) && !behind;
    if (!kept_up) {
        std::printf("    (%llu of %d messages in time%s)\n",
                    static_cast<unsigned long long>(stored), messages,
                    behind ? ", fell behind" : "");
    }
    writer->stop();
    writer->Wait();
    delete writer;
    // Each run records hundreds of megabytes: the next starts on an empty disk.
    std::filesystem::remove_all(config.Read(cfg::write_path).utf8_string());
    return kept_up;
}

// One recording step on one thread (copy, encode, puts, status), in ms: the
// median of `count` steps taken now, on a session of their own.
inline double one_step_ms(const app_link_ptr& link, frame_buffer& frame, int count = 25) {
    write_thread steps(link, "", frame, 0);
    uint32_t value = 0;
    std::vector<double> times;
    for (int i = 0; i < count; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        steps.on_odometer_value(value += 5, odometer_new);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
    }
    ldb_writer::live().close("", "");
    return median(times);
}

// The highest of the shares (descending) of one step's rate that is kept up,
// or 0. The step is timed again just before each run, so a machine whose
// speed drifts during the benchmark compares each run with its own moment.
inline double sustained(const app_link_ptr& link, wxConfigBase& config, rate_counter& sink,
                        frame_buffer& frame, size_t encoders, double scale,
                        std::initializer_list<double> shares, const char* what) {
    for (double share : shares) {
        const double step_ms = one_step_ms(link, frame);
        const double rate = scale * share * 1000.0 / step_ms;
        const bool kept_up = keeps_up(link, config, sink, frame, encoders, rate, step_ms / 1000);
        std::printf("  %-26s %6.1f/s (%.2f; one step now %.2f ms): %s\n", what, rate, share,
                    step_ms, kept_up ? "kept up" : "fell behind");
        if (kept_up) return share;
    }
    return 0;
}

// The highest rate, of the shares (descending) of `base` messages a second,
// that is kept up, or 0. For comparing two recordings' sustained rates with
// each other: the machine's speed swings by a quarter within a second, so a
// rate measured over runs of seconds is steadier than any one step's timing.
// `step_ms` bounds the wait for the last frames.
inline double sustained_rate(const app_link_ptr& link, wxConfigBase& config, rate_counter& sink,
                             frame_buffer& frame, size_t encoders, double base, double step_ms,
                             std::initializer_list<double> shares, const char* what) {
    for (double share : shares) {
        const double rate = base * share;
        const bool kept_up = keeps_up(link, config, sink, frame, encoders, rate, step_ms / 1000);
        std::printf("  %-26s %6.1f/s (%.2f): %s\n", what, rate, share,
                    kept_up ? "kept up" : "fell behind");
        if (kept_up) return rate;
    }
    return 0;
}
