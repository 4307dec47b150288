// A main window in process, as the window suites open and drive it.
#pragma once

#include "app/undercam_frame.h"
#include "camera/sdk/jai_sim.h"
#include "database/database_list.h"
#include "runtime/configuration.h"
#include "runtime/thread_events.h"
#include "support/gui_helpers.h"
#include "support/station_process.h"

#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include <wx/menu.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <functional>
#include <string>

class main_window_test : public testing::Test {
  protected:
    void SetUp() override { jai_sim::reset(); }
    void TearDown() override {
        if (alive_) {
            frame_->Destroy();
            pump_events(100);
        }
        jai_sim::reset();
    }

    // One 320 x 200 camera at 50 frames a second.
    static void small_fast_camera() {
        jai_sim::camera_config camera = jai_sim::default_cameras()[1];
        camera.width = 320;
        camera.height = 200;
        camera.fps = 50;
        jai_sim::set_cameras({camera});
    }

    // Writes settings into the station's configuration file before open().
    static void configure(const std::function<void(wxConfigBase&)>& write) {
        const wxString home = wxGetHomeDir();
        make_configuration_folder(configuration_file_name(home));
        wxFileConfig config(wxEmptyString, wxEmptyString,
                            configuration_file_name(home).GetFullPath(), wxEmptyString,
                            wxCONFIG_USE_LOCAL_FILE, wxConvUTF8);
        write(config);
    }

    undercam_frame* open(const wxSize& size = wxSize(1400, 900)) {
        frame_ = new undercam_frame();
        alive_ = frame_;
        frame_->SetSize(0, 0, size.x, size.y);
        frame_->Show();
        pump_events(200);
        return frame_;
    }

    database_list* list() {
        return dynamic_cast<database_list*>(frame_->FindWindow(id_database_list));
    }

    bool enabled(int id) {
        frame_->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        frame_->GetMenuBar()->UpdateMenus();
        return frame_->GetMenuBar()->IsEnabled(id);
    }

    void remote(int code, const wxString& text = wxEmptyString) {
        wxThreadEvent event(evt_rc_command, wxID_ANY);
        event.SetInt(code);
        event.SetString(text);
        wxQueueEvent(frame_, event.Clone());
        pump_events(100);
    }

    std::wstring journal() {
        const auto files = journal_files(wxGetHomeDir().ToStdString());
        std::string newest;
        for (const auto& f : files)
            newest = std::max(newest, f);
        return read_journal(newest);
    }

    undercam_frame* frame_ = nullptr;
    wxWeakRef<undercam_frame> alive_;  // null once the window is gone
};
