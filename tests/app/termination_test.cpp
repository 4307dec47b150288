// A system shutdown while a dialog or message box is open: the dialog ends as
// if cancelled, then the window closes in order, the recording with it.
#include "app/main_window_fixture.h"
#include "app/termination.h"
#include "app/database/database_list.h"
#include "support/db_dump.h"
#include "support/pty_pair.h"
#include "support/sample_db.h"

#include <wx/statusbr.h>

#include <csignal>
#include <filesystem>

namespace {

class termination_test : public main_window_test {
  protected:
    // Runs a window command that shows a modal dialog, with the signal
    // arriving while the dialog waits for the operator; true when the
    // command returned and the window then went.
    bool signal_during(int command) {
        frame_->CallAfter([] { std::raise(SIGTERM); });
        wxCommandEvent event(wxEVT_MENU, command);
        frame_->GetEventHandler()->ProcessEvent(event);
        return pump_until([&] { return !alive_; });
    }

    // A recorded database in the write folder, selected in the list.
    std::string select_a_database() {
        const std::string folder =
            wxGetHomeDir().ToStdString() + "/rec-" + std::to_string(count_++);
        const std::string path = folder + "/2024.03.05 14.07.09";
        std::filesystem::create_directories(folder);
        make_database(path, {100, 105}, "A : B", "left");
        configure([&](wxConfigBase& config) { config.Write(cfg::write_path, wxString(folder)); });
        open();
        auto* list = dynamic_cast<database_list*>(frame_->FindWindow(id_database_list));
        EXPECT_TRUE(pump_until([&] { return list->GetItemCount() == 1; }));
        list->SetItemState(0, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
        return path;
    }

    termination watch_;
    int count_ = 0;
};

}  // namespace

TEST_F(termination_test, the_session_code_dialog_ends_and_the_recording_closes_its_session) {
    pty_pair odometer;
    const std::string recordings = wxGetHomeDir().ToStdString() + "/signalled";
    configure([&](wxConfigBase& config) {
        config.Write(cfg::dpp_port, wxString(odometer.path()));
        config.Write(cfg::write_path, wxString(recordings));
        config.Write(cfg::coordinate_server_enabled, false);
    });
    small_fast_camera();
    open();
    remote(rc_start_recording);
    ASSERT_TRUE(pump_until(
        [&] { return journal().find(L"Последовательный порт: ") != std::wstring::npos; }));
    odometer.send_new(100);
    odometer.send_new(105);
    ASSERT_TRUE(pump_until([&] {
        return frame_->GetStatusBar()
            ->GetStatusText(field_recording)
            .StartsWith(L"ДПП[7]: 105 Записано: 2");
    }));
    ASSERT_TRUE(signal_during(id_session_code));
    std::vector<std::string> sessions;
    for (const auto& e : std::filesystem::directory_iterator(recordings))
        sessions.push_back(e.path().string());
    ASSERT_EQ(sessions.size(), 1u);
    const auto stored = dump_database(sessions[0]);
    EXPECT_EQ(stored.count("0000000100") + stored.count("0000000105"), 2u);
    EXPECT_EQ(stored.at("count"), "0000000002");
    EXPECT_EQ(stored.at("side"), "левый");
}

TEST_F(termination_test, the_viewer_ends_and_the_window_goes) {
    select_a_database();
    EXPECT_TRUE(signal_during(id_view_database));
}

TEST_F(termination_test, the_settings_dialog_ends_without_writing_and_the_window_goes) {
    open();
    EXPECT_TRUE(signal_during(id_settings));
}

TEST_F(termination_test, a_message_box_ends_as_cancelled_and_nothing_is_deleted) {
    const std::string path = select_a_database();
    EXPECT_TRUE(signal_during(id_delete_database));
    EXPECT_TRUE(std::filesystem::exists(path));
}
