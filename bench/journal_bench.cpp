// The journal window under load, measured in one run (needs a display:
// xvfb-run -a build/bench/journal_bench):
//  1. 10 000 malformed discovery datagrams through the whole path (the
//     discovery service, its thread events, the window's journal): the
//     longest stall of the window's event loop (goal <= 200 ms) and the rows
//     they left;
//  2. a 12-hour run's worth of rows, one a second (43 200): the window's work
//     for one row at the start and after them all, and the longest stall;
//  3. the same rows appended to the page of a plain HTML window line by
//     line, as the journal window did before: its cost per row grows with
//     the rows before it (measured up to 500 rows only).
#include "app/log_viewer.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "runtime/journal.h"
#include "runtime/thread_events.h"
#include "services/discovery_service.h"

#include <boost/asio.hpp>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/html/htmlwin.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace asio = boost::asio;
using clock_type = std::chrono::steady_clock;

namespace {

class bench_app : public wxApp {
  public:
    bool OnInit() override { return true; }
};

// The main window's part in the journal: thread events become rows.
class journal_frame : public wxFrame {
  public:
    explicit journal_frame(const std::string& file)
        : wxFrame(nullptr, wxID_ANY, "journal", wxDefaultPosition, wxSize(1200, 800)) {
        viewer = new log_viewer(this, file);
        Bind(evt_log_info, [](wxThreadEvent& e) { log_info(e.GetString()); });
        Bind(evt_log_error, [](wxThreadEvent& e) { log_error(e.GetString()); });
    }
    log_viewer* viewer;
};

double ms(clock_type::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// One turn of the event loop (the queued events, then one dispatch of the
// display's events and timers, as the main loop takes them); returns how
// long it held the window: the operator's input waits that long at most.
clock_type::duration turn() {
    const auto begin = clock_type::now();
    wxTheApp->ProcessPendingEvents();
    if (wxTheApp->Pending()) wxTheApp->Dispatch();
    wxTheApp->ProcessIdle();
    return clock_type::now() - begin;
}

struct turns {
    clock_type::duration longest{};
    clock_type::duration busy{};  // all turns together
};

// Turns the loop until `done` or the limit.
turns run_until(const std::function<bool()>& done, std::chrono::seconds limit) {
    turns t;
    const auto end = clock_type::now() + limit;
    while (!done() && clock_type::now() < end) {
        const auto one = turn();
        t.longest = std::max(t.longest, one);
        t.busy += one;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return t;
}

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(bench_app);

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const auto root =
        std::filesystem::temp_directory_path() / ("undercam-jbench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "Dunmere/config");
    setenv("HOME", root.c_str(), 1);
    wxApp::SetInstance(new bench_app);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) return 1;
    wxGUIEventLoop loop;
    wxEventLoopActivator active(&loop);

    auto* frame = new journal_frame((root / "journal.html").string());
    frame->Show();
    run_until([] { return false; }, std::chrono::seconds(1));

    // 1. Malformed datagrams through the discovery service.
    auto config = open_configuration(configuration_file_name(root.string()));
    auto link = std::make_shared<app_link>(frame, config.get());
    unsigned short port;
    {
        asio::io_context io;
        asio::ip::udp::socket s(io, {asio::ip::make_address("127.0.0.1"), 0});
        port = s.local_endpoint().port();
    }
    (new discovery_service(link, port))->Run();
    std::atomic<bool> sent{false};
    std::thread sender([&] {
        asio::io_context io;
        asio::ip::udp::socket s(io, {asio::ip::make_address("127.0.0.1"), 0});
        for (int i = 0; i < 10000; ++i) {
            s.send_to(asio::buffer(std::string(R"({"type":"query",)")),
                      {asio::ip::make_address("127.0.0.1"), port});
            if (i % 500 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        sent = true;
    });
    const auto flood_begin = clock_type::now();
    auto stall = run_until([&] { return sent.load(); }, std::chrono::seconds(60)).longest;
    stall = std::max(stall, run_until([] { return false; }, std::chrono::seconds(3)).longest);
    sender.join();
    std::printf(
        "10 000 bad datagrams in %.0f ms: longest stall %.1f ms (goal <= 200), %zu rows "
        "on the page\n",
        ms(clock_type::now() - flood_begin - std::chrono::seconds(3)), ms(stall),
        frame->viewer->shown_rows());
    link->detach();

    // 2. A 12-hour run's worth of rows. One row at a time, each shown before
    // the next comes (as in a quiet run), the window's work for a row at the
    // start of the run and after all of them; in between the run's rows as
    // fast as they can be written.
    auto shown_one_by_one = [&](int rows, const char* what) {
        clock_type::duration busy{}, longest{};
        for (int i = 0; i < rows; ++i) {
            const auto begin = clock_type::now();
            log_info(wxString::Format("%s row %d", what, i));
            busy += clock_type::now() - begin;
            const auto turns = run_until([&] { return frame->viewer->waiting_rows() == 0; },
                                         std::chrono::seconds(30));
            busy += turns.busy;
            longest = std::max(longest, turns.longest);
        }
        return std::make_pair(ms(busy) / rows, ms(longest));
    };
    const auto at_start = shown_one_by_one(50, "early");
    const int run_rows = std::getenv("ROWS") ? std::atoi(std::getenv("ROWS")) : 12 * 3600;
    clock_type::duration longest{};
    for (int written = 0; written < run_rows;) {
        for (int i = 0; i < 20 && written < run_rows; ++i, ++written)
            log_info(wxString::Format("row %d of a long run", written));
        longest = std::max(longest, turn());
    }
    const auto settled =
        run_until([&] { return frame->viewer->waiting_rows() == 0; }, std::chrono::seconds(60));
    longest = std::max(longest, settled.longest);
    const auto at_end = shown_one_by_one(50, "late");
    std::printf(
        "a row shown on its own: %.2f ms of the window's time at the start, %.2f ms after "
        "%d rows; longest stall %.1f ms, %.1f ms while the run's rows came as fast as "
        "they could (%zu rows on the page)\n",
        at_start.first, at_end.first, run_rows, std::max(at_start.second, at_end.second),
        ms(longest), frame->viewer->shown_rows());
    frame->Destroy();
    run_until([] { return false; }, std::chrono::seconds(1));

    // 3. The page appended to line by line, as before.
    auto* plain_frame =
        new wxFrame(nullptr, wxID_ANY, "plain", wxDefaultPosition, wxSize(1200, 800));
    auto* plain = new wxHtmlWindow(plain_frame);
    plain_frame->Show();
    std::vector<double> per_row;
    for (int row = 0; row < 500; ++row) {
        const auto begin = clock_type::now();
        const std::wstring text =
            journal_row(std::tm{}, wxString::Format("row %d", row).ToStdWstring(), false);
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find(L'\n', start) + 1;
            plain->AppendToPage(text.substr(start, end - start));
            start = end;
        }
        per_row.push_back(ms(clock_type::now() - begin));
        if (row == 99 || row == 249 || row == 499) {
            std::printf("appended line by line, as before: %.1f ms a row at row %d\n",
                        per_row.back(), row + 1);
        }
    }
    plain_frame->Destroy();
    run_until([] { return false; }, std::chrono::seconds(1));
    config.reset();
    std::filesystem::remove_all(root);
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
