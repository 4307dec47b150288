// The journal window on a real window: every row in the file, the last rows
// on the page, and a cost per row that does not grow with the journal.
#include "app/log_viewer.h"
#include "runtime/journal.h"
#include "support/gui_helpers.h"
#include "support/station_process.h"
#include "support/test_home.h"

#include <gtest/gtest.h>
#include <wx/frame.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace {

class log_viewer_test : public testing::Test {
  protected:
    void SetUp() override {
        frame_ = new wxFrame(nullptr, wxID_ANY, "journal", wxDefaultPosition, wxSize(900, 600));
        viewer_ = new log_viewer(frame_, file_);
        frame_->Show();
    }
    void TearDown() override {
        frame_->Destroy();  // the viewer gives the streams back
        pump_events(50);
    }
    std::string file_text() const {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    bool all_shown(int limit_ms = 30000) {
        return pump_until([&] { return viewer_->waiting_rows() == 0; }, limit_ms);
    }
    // Writes `n` rows numbered from `first`; false if that took over a minute.
    static bool write_rows(int first, int n) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        for (int i = first; i < first + n; ++i) {
            log_info(wxString::Format("row %d", i));
            if (std::chrono::steady_clock::now() > end) return false;
        }
        return true;
    }

    test_home home_;
    const std::string file_ = home_ / "journal.html";
    wxFrame* frame_ = nullptr;
    log_viewer* viewer_ = nullptr;
};

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST_F(log_viewer_test, the_file_keeps_every_row_and_the_page_the_last_ones) {
    ASSERT_TRUE(write_rows(0, 2500));
    ASSERT_TRUE(all_shown());
    EXPECT_EQ(viewer_->shown_rows(), log_viewer::kShownRows);
    const std::string file = file_text();
    EXPECT_EQ(file.substr(0, 22), "<html>\n<table>\n<tbody>");
    EXPECT_EQ(count_of(file, "<tr>\n"), 2500u);
    EXPECT_EQ(count_of(file, "</tr>\n"), 2500u);
    const wxString page = viewer_->ToText();
    EXPECT_NE(page.Find("row 2499"), wxNOT_FOUND);
    EXPECT_NE(page.Find("row 500\n"), wxNOT_FOUND);  // the oldest row still shown
    EXPECT_EQ(page.Find("row 499\n"), wxNOT_FOUND);  // scrolled out
}

TEST_F(log_viewer_test, a_row_reaches_the_file_whole_and_at_once) {
    const std::string before = file_text();
    std::wcout << L"<tr>" << std::endl << L"<td>01.01.2025 00:00:00</td>" << std::endl;
    EXPECT_EQ(file_text(), before);  // half a row is not on disk yet
    std::wcout << L"<td> <font color='blue'>whole</font></td>" << std::endl
               << L"</tr>" << std::endl;
    EXPECT_EQ(file_text(), before +
                               "<tr>\n<td>01.01.2025 00:00:00</td>\n<td> <font "
                               "color='blue'>whole</font></td>\n</tr>\n");
}

TEST_F(log_viewer_test, broken_markup_spoils_only_its_own_row) {
    log_info(wxString("<table><tr><td><font size=7>unclosed"));
    log_info(wxString("after"));
    ASSERT_TRUE(all_shown());
    EXPECT_EQ(viewer_->shown_rows(), 2u);
    EXPECT_NE(viewer_->ToText().Find("after"), wxNOT_FOUND);
}

TEST_F(log_viewer_test, a_selection_in_rows_that_scroll_out_goes_with_them) {
    ASSERT_TRUE(write_rows(0, 50));
    ASSERT_TRUE(all_shown());
    viewer_->SelectAll();
    EXPECT_NE(viewer_->SelectionToText().Find("row 0"), wxNOT_FOUND);
    ASSERT_TRUE(write_rows(50, log_viewer::kShownRows));
    ASSERT_TRUE(all_shown());
    EXPECT_TRUE(viewer_->SelectionToText().empty());
    viewer_->Refresh();
    viewer_->Update();  // painting must not touch the rows that went
}

TEST_F(log_viewer_test, after_a_long_run_the_window_still_answers_at_once) {
    // A long run's worth of rows, shown as they come.
    for (int chunk = 0; chunk < 20; ++chunk) {
        ASSERT_TRUE(write_rows(chunk * 1000, 1000));
        ASSERT_TRUE(all_shown());
    }
    // One more row, and something else the window is asked to do, are done
    // at once: well within seconds, however many rows came before.
    bool answered = false;
    const auto begin = std::chrono::steady_clock::now();
    log_error(wxString("one more"));
    frame_->CallAfter([&] { answered = true; });
    ASSERT_TRUE(pump_until([&] { return answered && viewer_->waiting_rows() == 0; }, 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_NE(viewer_->ToText().Find("one more"), wxNOT_FOUND);
    EXPECT_EQ(viewer_->shown_rows(), log_viewer::kShownRows);
}
