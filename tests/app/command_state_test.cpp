// Commands check their own state when they run and again after a dialog
// they showed: a stale enabled state, or a remote command handled while the
// dialog was open, changes nothing under a running acquisition.
#include "app/main_window_fixture.h"
#include "app/undercam_options.h"
#include "app/database/VImagePanel.h"
#include "support/db_dump.h"
#include "support/pty_pair.h"
#include "support/sample_db.h"

#include <wx/propgrid/propgrid.h>
#include <wx/statusbr.h>
#include <wx/textdlg.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class command_state_test : public main_window_test {
  protected:
    // A write folder holding one recorded database, and an odometer line.
    void SetUp() override {
        main_window_test::SetUp();
        folder_ = wxGetHomeDir().ToStdString() + "/commands-" + std::to_string(count_++);
        fs::create_directories(folder_);
        database_ = folder_ + "/2024.03.05 14.07.09";
        make_database(database_, {100, 105}, "A : B", "left");
        configure([&](wxConfigBase& config) {
            config.Write(cfg::dpp_port, wxString(odometer_.path()));
            config.Write(cfg::write_path, wxString(folder_));
            config.Write(cfg::coordinate_server_enabled, false);
        });
        small_fast_camera();
    }

    // Opens the window and selects the database's row.
    void open_with_row_selected() {
        open();
        ASSERT_TRUE(pump_until([&] { return list()->GetItemCount() == 1; }));
        list()->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }

    uint64_t delivered() {
        const wxString text = frame_->GetStatusBar()->GetStatusText(field_grab_stats);
        unsigned long long n = 0;
        text.AfterFirst(' ').BeforeFirst(' ').ToULongLong(&n);
        return n;
    }

    // Sends rising odometer values, once the recordings begun so far
    // (`starts`) have opened the line, until the recording has stored
    // `frames` of them (a value that finds no frame yet stores nothing).
    void record(uint32_t first, int frames, size_t starts = 1) {
        ASSERT_TRUE(
            pump_until([&] { return journal_count(L"Последовательный порт: ") >= starts; }));
        auto stored = [&](int n) {
            return frame_->GetStatusBar()
                ->GetStatusText(field_recording)
                .Contains(wxString::Format(L"Записано: %d ", n));
        };
        uint32_t value = first;
        for (int n = 1; n <= frames; ++n) {
            for (int tries = 0; !stored(n) && tries < 20; ++tries) {
                odometer_.send_new(value);
                value += 5;
                pump_until([&] { return stored(n); }, 1000);
            }
            ASSERT_TRUE(stored(n))
                << wxString(frame_->GetStatusBar()->GetStatusText(field_recording));
        }
    }

    std::vector<std::string> sessions_in(const std::string& folder) {
        std::vector<std::string> found;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(folder, ec))
            found.push_back(e.path().string());
        return found;
    }

    pty_pair odometer_;
    std::string folder_, database_;
    static inline int count_ = 0;
};

}  // namespace

TEST_F(command_state_test, refreshing_cameras_during_a_recording_leaves_the_camera_streaming) {
    open();
    remote(rc_start_recording);
    ASSERT_TRUE(pump_until([&] { return delivered() > 0; }));
    const size_t listings = journal_count(L"camera(s) detected");
    const size_t selections = journal_count(L"Active camera selected");
    command(id_refresh_cameras);  // a click the stale menu let through
    wxCommandEvent choice(wxEVT_CHOICE, id_camera_choice);
    choice.SetString(jai_sim::default_cameras()[0].id);
    frame_->GetEventHandler()->ProcessEvent(choice);
    const uint64_t before = delivered();
    ASSERT_TRUE(pump_until([&] { return delivered() > before + 20; }))
        << wxString(frame_->GetStatusBar()->GetStatusText(field_grab_stats));
    EXPECT_EQ(journal_count(L"camera(s) detected"), listings);
    EXPECT_EQ(journal_count(L"Active camera selected"), selections);
    remote(rc_stop);
    EXPECT_TRUE(enabled(id_capture));  // the camera is still open
}

TEST_F(command_state_test, database_commands_and_the_settings_do_nothing_while_recording) {
    open_with_row_selected();
    remote(rc_start_recording);
    ASSERT_TRUE(enabled(id_stop));
    dialog_answers answers([](wxDialog*) { return wxID_OK; });
    const auto stored = dump_database(database_);
    for (int id : {id_view_database, id_delete_database, id_archive_database, id_replace_side,
                   id_replace_session, id_settings, id_reload_databases}) {
        command(id);
    }
    pump_events(300);
    EXPECT_TRUE(answers.titles.empty()) << answers.titles.front();
    EXPECT_EQ(dump_database(database_), stored);
    EXPECT_EQ(list()->GetItemCount(), 1);  // not reloaded
    remote(rc_stop);
}

TEST_F(command_state_test, a_recording_started_under_a_dialog_keeps_its_database_unchanged) {
    open_with_row_selected();
    const auto stored = dump_database(database_);
    // The operator answers each dialog only after a remote start came in.
    dialog_answers answers([&](wxDialog* dialog) {
        remote_now(rc_start_recording);
        if (auto* text = dynamic_cast<wxTextEntryDialog*>(dialog)) text->SetValue("X : Y");
        return dialog->GetTitle() == L"Удаление данных" ? wxID_YES : wxID_OK;
    });
    for (int id : {id_delete_database, id_replace_session, id_archive_database}) {
        command(id);
        EXPECT_TRUE(enabled(id_stop));
        remote_now(rc_stop);
    }
    EXPECT_EQ(answers.titles.size(), 3u);  // no message about a failed archive either
    EXPECT_TRUE(fs::exists(database_));
    EXPECT_EQ(dump_database(database_), stored);
    EXPECT_EQ(list()->GetItemCount(), 1);
}

TEST_F(command_state_test, a_session_code_is_not_given_to_a_recording_begun_under_its_dialog) {
    open();
    remote(rc_start_recording);
    dialog_answers answers([&](wxDialog* dialog) {
        // The recording the dialog was opened on ends and another begins.
        remote_now(rc_stop);
        remote_now(rc_start_recording);
        static_cast<wxTextEntryDialog*>(dialog)->SetValue("X : Y");
        return wxID_OK;
    });
    command(id_session_code);
    ASSERT_EQ(answers.titles.size(), 1u);
    record(100, 2, 2);
    remote(rc_stop);
    ASSERT_TRUE(pump_until([&] { return list()->GetItemCount() == 2; }));
    EXPECT_EQ(list()->GetItemText(1, 0), "");  // not "X : Y"
}

TEST_F(command_state_test, settings_confirmed_after_a_remote_start_apply_from_the_next_recording) {
    open();
    ASSERT_TRUE(pump_until([&] { return list()->GetItemCount() == 1; }));
    const std::string moved = folder_ + "-moved";
    dialog_answers answers([&](wxDialog* dialog) {
        remote_now(rc_start_recording);
        auto* settings = dynamic_cast<undercam_options*>(dialog);
        settings->grid()->SetPropertyValue(cfg::write_path, wxString(moved));
        settings->write_settings();  // the operator's "Ok"
        return wxID_OK;
    });
    command(id_settings);
    ASSERT_EQ(answers.titles.size(), 1u);
    ASSERT_TRUE(enabled(id_stop));
    // Saved at once...
    wxFileConfig saved(wxEmptyString, wxEmptyString,
                       configuration_file_name(wxGetHomeDir()).GetFullPath(), wxEmptyString,
                       wxCONFIG_USE_LOCAL_FILE, wxConvUTF8);
    EXPECT_EQ(saved.Read(cfg::write_path, ""), wxString(moved));
    EXPECT_EQ(journal_count(L"Настройки сохранены и вступят в силу со следующей записи"), 1u);
    // ...while the list stays and the recording writes where it began.
    pump_events(300);
    EXPECT_EQ(list()->GetItemCount(), 1);
    record(100, 2);
    remote(rc_stop);
    EXPECT_EQ(sessions_in(folder_).size(), 2u);
    EXPECT_TRUE(sessions_in(moved).empty());
    // Once stopped, the list is the new folder's (empty), and the session just recorded.
    ASSERT_TRUE(pump_until([&] {
        return list()->GetItemCount() == 1 && list()->rows()[0].path != wxString(database_);
    }));
    pump_events(300);
    EXPECT_EQ(list()->GetItemCount(), 1);
    EXPECT_TRUE(list()->rows()[0].path.StartsWith(wxString(folder_ + "/")));
}

TEST_F(command_state_test, confirmed_ruler_settings_reach_the_live_view_at_once) {
    open();
    auto* view = dynamic_cast<VImagePanel*>(frame_->FindWindow(id_camera_view));
    ASSERT_NE(view, nullptr);
    dialog_answers answers([&](wxDialog* dialog) {
        auto* settings = dynamic_cast<undercam_options*>(dialog);
        settings->grid()->SetPropertyValue(cfg::show_scale, !view->ruler_shown());
        settings->grid()->SetPropertyValue(cfg::scale, 2.5);
        settings->write_settings();
        return wxID_OK;
    });
    const bool shown = view->ruler_shown();
    command(id_settings);
    EXPECT_NE(view->ruler_shown(), shown);
    EXPECT_DOUBLE_EQ(view->scale(), 2.5);
}
