// Coverage by distance in the window: the live line while a session with
// gaps records, the journal row at its close, and the report written for it.
#include "app/camera/live_coverage.h"
#include "app/database/database_pane.h"
#include "app/main_window_fixture.h"
#include "support/test_home.h"
#include "support/pty_pair.h"
#include "support/sample_db.h"

#include <wx/statusbr.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

}  // namespace

class coverage_window_test : public main_window_test {
  protected:
    // Opens the window recording into `recordings_` from `odometer_`, once
    // the line is read and the camera has delivered a frame.
    void open_recording() {
        configure([&](wxConfigBase& config) {
            config.Write(cfg::dpp_port, wxString(odometer_.path()));
            config.Write(cfg::write_path, wxString(recordings_));
            config.Write(cfg::coordinate_server_enabled, false);
        });
        small_fast_camera();
        open();
        remote(1);
        ASSERT_TRUE(pump_until([&] { return journal_count(L"Последовательный порт: ") >= 1; }));
        ASSERT_TRUE(pump_until([&] { return delivered() > 0; }));
    }

    uint64_t delivered() {
        const wxString text = frame_->GetStatusBar()->GetStatusText(field_grab_stats);
        unsigned long long n = 0;
        text.AfterFirst(' ').BeforeFirst(' ').ToULongLong(&n);
        return n;
    }

    pty_pair odometer_;
    // A folder of each test's own: the tests share a home.
    const std::string recordings_ = wxGetHomeDir().ToStdString() + "/coverage-" +
                                    testing::UnitTest::GetInstance()->current_test_info()->name();
};

TEST_F(coverage_window_test, a_session_with_gaps_shows_them_live_at_its_close_and_in_its_report) {
    open_recording();
    auto* live = dynamic_cast<live_coverage*>(wxWindow::FindWindowByName("live_coverage", frame_));
    ASSERT_NE(live, nullptr);
    EXPECT_EQ(live->text(), L"Покрытие: нет записи");
    EXPECT_NE(frame_->GetMenuBar()->FindItem(id_coverage_report), nullptr);
    // Two gaps of different length: 110 to 130 (3 frames missing) and 140
    // to 170 (5 missing).
    const uint32_t values[] = {100, 105, 110, 130, 135, 140, 170};
    for (const uint32_t v : values) {
        odometer_.send_new(v);
        pump_events(150);
    }
    ASSERT_TRUE(pump_until([&] {
        return frame_->GetStatusBar()
            ->GetStatusText(field_recording)
            .StartsWith(L"ДПП[7]: 170 Записано: 7");
    })) << wxString(frame_->GetStatusBar()->GetStatusText(field_recording));
    ASSERT_TRUE(pump_until([&] { return live->shown().frames == 7; }));
    EXPECT_EQ(live->text(), L"Покрытие: 42.9%, пропусков: 2, наибольший: 30 (140–170)");
    ASSERT_EQ(live->shown().gaps.size(), 2u);
    EXPECT_EQ(live->shown().gaps[0].start, 110u);
    EXPECT_EQ(live->shown().gaps[0].missing, 3u);
    EXPECT_EQ(live->shown().gaps[1].end, 170u);
    EXPECT_EQ(live->shown().gaps[1].missing, 5u);
    save_screenshot(frame_, "live_coverage");

    remote(2);
    ASSERT_TRUE(pump_until([&] { return list()->GetItemCount() == 1; }));
    const std::wstring close_row = L": кадров: 7, путь: 70, шаг: 5, пропусков: 2, покрыто: 42.9%";
    ASSERT_TRUE(pump_until([&] { return journal_count(close_row) == 1; }));
    EXPECT_EQ(journal_count(L"Сеанс закрыт: "), 1u);
    // The line keeps the session just recorded.
    EXPECT_EQ(live->shown().frames, 7u);

    const wxString database = list()->rows()[0].path;
    const std::string report = wxGetHomeDir().ToStdString() + "/report.html";
    ASSERT_TRUE(frame_->databases().write_coverage_report(database, report));
    const std::string html = file_bytes(report);
    EXPECT_NE(html.find("<td>1</td><td>110</td><td>130</td><td>20</td><td>3</td>"),
              std::string::npos);
    EXPECT_NE(html.find("<td>2</td><td>140</td><td>170</td><td>30</td><td>5</td>"),
              std::string::npos);
    EXPECT_EQ(journal_count(L"Отчёт о покрытии записан: "), 1u);

    // A file that cannot be written is a red row, not a crash.
    EXPECT_FALSE(
        frame_->databases().write_coverage_report(database, "/nonexistent-folder/report.html"));
    EXPECT_EQ(journal_count(L"Отчёт о покрытии не записан в файл "), 1u);
}

TEST_F(coverage_window_test, the_report_of_the_session_being_recorded_is_refused_as_in_use) {
    open_recording();
    ASSERT_TRUE(pump_until(
        [&] {
            odometer_.send_new(100);
            pump_events(100);
            return frame_->GetStatusBar()->GetStatusText(field_recording).Contains(L"Записано: 1");
        },
        10000));
    std::vector<std::string> sessions;
    for (const auto& e : fs::directory_iterator(recordings_))
        sessions.push_back(e.path().string());
    ASSERT_EQ(sessions.size(), 1u);
    // Catalogued as if listed, as a crash-repaired session would be.
    ldb_entry entry;
    entry.path = sessions[0];
    catalogue::instance().append(entry);
    EXPECT_FALSE(
        frame_->databases().write_coverage_report(sessions[0], wxGetHomeDir() + "/live.html"));
    EXPECT_EQ(journal_count(L"Отчёт о покрытии не составлен: "), 1u);
    EXPECT_EQ(journal_count(L"in use"), 1u);
    EXPECT_FALSE(fs::exists(wxGetHomeDir().ToStdString() + "/live.html"));
    remote(2);
    pump_events(300);
}
