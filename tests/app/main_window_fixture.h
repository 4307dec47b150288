// A main window in process, as the window suites open and drive it.
#pragma once

#include "app/database/database_list.h"
#include "app/station_status_bar.h"
#include "app/undercam_frame.h"
#include "camera/sdk/jai_sim.h"
#include "database/catalogue.h"
#include "recording/write_thread.h"
#include "runtime/configuration.h"
#include "runtime/thread_events.h"
#include "services/rc_protocol.h"
#include "support/gui_helpers.h"
#include "support/sample_db.h"
#include "support/station_process.h"
#include "support/station_setup.h"

#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include <wx/dialog.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Answers every modal dialog shown while it lives, without showing it: the
// answer function gets the dialog (and may act meanwhile, as a remote
// client might) and returns what ShowModal returns.
class dialog_answers : public wxModalDialogHook {
  public:
    explicit dialog_answers(std::function<int(wxDialog*)> answer) : answer_(std::move(answer)) {
        Register();
    }
    std::vector<wxString> titles;  // of the dialogs shown, in order

  protected:
    int Enter(wxDialog* dialog) override {
        titles.push_back(dialog->GetTitle());
        return answer_(dialog);
    }
    void Exit(wxDialog*) override {}

  private:
    std::function<int(wxDialog*)> answer_;
};

class main_window_test : public testing::Test {
  protected:
    void SetUp() override {
        jai_sim::reset();
        catalogue::instance().clear();  // as in a program just started
    }
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
        write_station_configuration(wxGetHomeDir().ToStdString(), write);
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

    // Runs a command as its menu item or tool does, whatever its enabled state.
    void command(int id) {
        wxCommandEvent event(wxEVT_MENU, id);
        frame_->GetEventHandler()->ProcessEvent(event);
    }

    // Handles a remote command at once, as the window's event loop would.
    void remote_now(int code, const wxString& text = wxEmptyString) {
        wxThreadEvent event(evt_rc_command, wxID_ANY);
        event.SetInt(code);
        event.SetString(text);
        frame_->GetEventHandler()->ProcessEvent(event);
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

    // How often a text occurs in the journal.
    size_t journal_count(const std::wstring& text) {
        const std::wstring all = journal();
        size_t n = 0;
        for (size_t at = all.find(text); at != std::wstring::npos; at = all.find(text, at + 1))
            ++n;
        return n;
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
