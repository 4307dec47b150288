// The set-up of a test that gives a worker thread what the main window
// gives it: the station's configuration file in a home folder, opened as the
// station opens it, a recorder standing in for the window, and the link
// between them.
#pragma once

#include "runtime/app_link.h"
#include "support/event_recorder.h"
#include "support/test_home.h"

#include <wx/fileconf.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// <home>/Dunmere/config/.undercam, its folder made, opened as the station opens it.
std::unique_ptr<wxFileConfig> open_station_configuration(const std::string& home);

// Writes settings into that file for a station that opens it later (a main
// window in process, or the program).
void write_station_configuration(const std::string& home,
                                 const std::function<void(wxConfigBase&)>& write);

// The base of the fixtures that run workers: a temporary home, the
// configuration in it, the recorder and the link, made before the fixture's
// own members. The link is detached when the fixture goes, which stops
// every worker registered with it.
class station_setup {
  protected:
    station_setup();
    ~station_setup();
    station_setup(const station_setup&) = delete;
    station_setup& operator=(const station_setup&) = delete;

    // The texts of the events of one type queued so far.
    std::vector<wxString> texts(wxEventType type);

    test_home home_;
    std::unique_ptr<wxFileConfig> config_;
    event_recorder window_;
    app_link_ptr link_;
};
