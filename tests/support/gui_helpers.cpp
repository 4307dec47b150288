#include "support/gui_helpers.h"

#include <wx/evtloop.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

void pump_events(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        wxTheApp->ProcessPendingEvents();
        while (wxTheApp->Pending())
            wxTheApp->Dispatch();
        wxTheApp->ProcessIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < end);
}

bool pump_until(const std::function<bool()>& done, int limit_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        pump_events(20);
    }
    return done();
}

std::string save_screenshot(wxWindow* window, const std::string& name) {
    const std::string folder = ARTIFACT_DIR;
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + name + ".png";
    // GTK windows keep no readable backing store: take the screen's pixels.
    const wxRect r = window->GetScreenRect();
    const std::string command = "import -window root -crop " + std::to_string(r.width) + "x" +
                                std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
                                std::to_string(r.y) + " '" + path + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    return path;
}

bool add_row(database_list& list, const ldb_entry& row) {
    return !list.add_rows({row}).empty();
}
