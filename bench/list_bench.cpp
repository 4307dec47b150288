// The database list with thousands of sessions, in the real main window
// under the real event loop (run under a display server, in a network
// namespace of its own: the window starts the station's services):
//  1. the scan of 5 000 small sessions: its time, and the longest time the
//     window thread went without running a 10 ms timer (goal <= 100 ms);
//  2. the same sessions opened and read one after another, bare;
//  3. the cost of appending one row to an empty list and to one of 5 000.
#include "app/undercam_frame.h"
#include "app/database/database_list.h"
#include "runtime/configuration.h"
#include "support/sample_db.h"

#include <leveldb/db.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/timer.h>
#include <wx/uilocale.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using clock_type = std::chrono::steady_clock;

constexpr int kSessions = 5000;

class bench_app : public wxApp {
  public:
    bool OnInit() override { return true; }
};

// Processor time this thread has used, in milliseconds.
double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double ms_since(clock_type::time_point start) {
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

// The window thread's gaps between the ticks of a 10 ms timer.
class stall_meter : public wxEvtHandler {
  public:
    stall_meter() {
        timer_.SetOwner(this);
        Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
            const auto now = clock_type::now();
            gaps_.push_back(std::chrono::duration<double, std::milli>(now - last_).count());
            last_ = now;
        });
        last_ = clock_type::now();
        timer_.Start(10);
    }
    void stop() { timer_.Stop(); }
    double longest() const {
        return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end());
    }
    double percentile(double p) const {
        if (gaps_.empty()) return 0;
        std::vector<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[size_t(p * (sorted.size() - 1))];
    }
    size_t over(double ms) const {
        return size_t(std::count_if(gaps_.begin(), gaps_.end(), [&](double g) { return g > ms; }));
    }

  private:
  private:
    wxTimer timer_;
    clock_type::time_point last_;
    std::vector<double> gaps_;
};

// Runs the real event loop until `done` holds (checked every 50 ms).
void run_until(const std::function<bool()>& done) {
    wxGUIEventLoop loop;
    wxTimer check;
    check.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        if (done()) loop.Exit();
    });
    check.Start(50);
    loop.Run();
}

double bare_reads(const std::vector<std::string>& paths) {
    const auto start = clock_type::now();
    for (const auto& path : paths) {
        leveldb::DB* raw = nullptr;
        if (!leveldb::DB::Open(leveldb::Options(), path, &raw).ok()) std::abort();
        std::string value;
        raw->Get(leveldb::ReadOptions(), "count", &value);
        raw->Get(leveldb::ReadOptions(), "session", &value);
        delete raw;
    }
    return ms_since(start);
}

// Microseconds one row appended takes on a list already holding `rows` rows (and
// the few hundred appended meanwhile): the median of rounds of appends.
double append_cost(int rows) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "rows", wxDefaultPosition, wxSize(1000, 400));
    auto* list = new database_list(frame, 3);
    frame->Show();
    ldb_entry entry;
    entry.info.session = "A12 : 7";
    entry.info.time_start = "2024-03-05 14:07:09";
    for (int i = 0; i < rows; ++i) {
        entry.path = wxString::Format("/w/%d", i);
        list->add_rows({entry});
    }
    std::vector<double> rounds;
    int n = 0;
    for (int round = 0; round < 9; ++round) {
        constexpr int kAppends = 100;
        const auto start = clock_type::now();
        for (int i = 0; i < kAppends; ++i) {
            entry.path = wxString::Format("/x/%d", n++);
            list->add_rows({entry});
        }
        rounds.push_back(ms_since(start) * 1000 / kAppends);
    }
    frame->Destroy();
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

// The longest gap of the window thread over `ms` of the event loop with
// nothing to do: the machine's own noise.
double idle_stall(int ms, double* cpu_ms) {
    stall_meter meter;
    const auto start = clock_type::now();
    const double cpu = thread_cpu_ms();
    run_until([&] { return ms_since(start) >= ms; });
    *cpu_ms = thread_cpu_ms() - cpu;
    return meter.longest();
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(bench_app);

int main(int argc, char** argv) {
    const fs::path home =
        fs::temp_directory_path() / ("undercam-list-bench-" + std::to_string(getpid()));
    fs::create_directories(home / "Dunmere/config");
    setenv("HOME", home.c_str(), 1);
    // No camera: the window opens without one.
    const fs::path cameras = home / "no_cameras.conf";
    std::FILE* f = std::fopen(cameras.c_str(), "w");
    std::fputs("# no camera\n", f);
    std::fclose(f);
    setenv("JAI_SIM_CONFIG", cameras.c_str(), 1);

    wxApp::SetInstance(new bench_app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;
    wxUILocale::UseDefault();

    const std::string folder = (home / "recordings").string();
    auto start = clock_type::now();
    const auto paths = many_sessions(folder, kSessions);
    std::printf("%d sessions made in %.1f s\n", kSessions, ms_since(start) / 1000);
    {
        wxFileConfig config(wxEmptyString, wxEmptyString,
                            configuration_file_name(home.string()).GetFullPath(), wxEmptyString,
                            wxCONFIG_USE_LOCAL_FILE, wxConvUTF8);
        config.Write(cfg::write_path, wxString(folder));
    }

    start = clock_type::now();
    auto* window = new undercam_frame();
    window->SetSize(0, 0, 1400, 900);
    window->Show();
    std::printf("window opened in %.0f ms\n", ms_since(start));
    // Measured from its first paint on: that is the window's, not the scan's.
    run_until([] { return true; });
    stall_meter meter;
    const double cpu_before = thread_cpu_ms();
    auto* list = dynamic_cast<database_list*>(window->FindWindow(id_database_list));
    run_until([&] { return list->GetItemCount() == kSessions && list->columns_fitted(); });
    meter.stop();
    const double window_cpu = thread_cpu_ms() - cpu_before;
    const double scan_ms = ms_since(start);
    std::printf("scan of %d sessions listed in %.1f s: %.2f ms each\n", kSessions, scan_ms / 1000,
                scan_ms / kSessions);
    std::printf(
        "window thread without a timer tick: longest %.0f ms (goal <= 100), "
        "99th percentile %.0f ms, %zu gaps over 50 ms\n",
        meter.longest(), meter.percentile(0.99), meter.over(50));
    std::printf("window thread busy %.0f ms of processor time meanwhile: %.0f us a row\n",
                window_cpu, window_cpu * 1000 / kSessions);
    double idle_cpu = 0;
    const double idle_gap = idle_stall(5000, &idle_cpu);
    std::printf(
        "the same window, idle once the scan is done, over 5 s: longest gap %.0f ms, "
        "%.0f ms of processor time\n",
        idle_gap, idle_cpu);
    window->Destroy();
    run_until([] { return true; });

    // The same sessions again (already rewritten by the scan's opens): the
    // scan's opens side by side against bare opens one after another.
    const std::vector<std::string> some(paths.begin(), paths.begin() + 500);
    std::printf("500 sessions opened and read one after another, bare: %.2f ms each\n",
                bare_reads(some) / some.size());

    std::printf("one row appended: %.1f us on an empty list, %.1f us on one of %d rows\n",
                append_cost(0), append_cost(kSessions), kSessions);

    wxTheApp->OnExit();
    wxEntryCleanup();
    fs::remove_all(home);
    return 0;
}
