// The main window while recording, at the screen sizes of the station's
// computers: every status field, the tool bar and the list's columns show
// their whole texts. Screenshots are saved as test artifacts.
#include "app/main_window_fixture.h"
#include "app/station_status_bar.h"
#include "app/database/VImagePanel.h"
#include "support/pty_pair.h"
#include "support/sample_db.h"

#include <wx/choice.h>
#include <wx/display.h>
#include <wx/toolbar.h>

#include <filesystem>

namespace {

// A screen size, and whether everything fits it whole. On the small screen
// the texts of the status bar are wider than the screen itself: there the
// stream information gives up its end (the counters, the recording and the
// disk stay whole), and the list's pane scrolls sideways (the live view
// keeps its width) with every column whole.
struct screen {
    wxSize size;
    bool everything_in_view;
};

class screenshot_test : public main_window_test, public testing::WithParamInterface<screen> {};

std::string size_name(const wxSize& size) {
    return std::to_string(size.x) + "x" + std::to_string(size.y);
}

// The text margin of a status field: text narrower than the field by this
// much shows whole, anything wider is cut short with an ellipsis.
constexpr int kFieldTextMargin = 6;

}  // namespace

TEST_P(screenshot_test, a_recording_shows_what_matters_whole) {
    const wxSize size = GetParam().size;
    const wxSize screen = wxGetDisplaySize();
    if (screen.x < size.x || screen.y < size.y) {
        GTEST_SKIP() << "the display is " << size_name(screen) << ", smaller than "
                     << size_name(size);
    }
    pty_pair odometer;
    const std::string folder = wxGetHomeDir().ToStdString() + "/shots-" + size_name(size);
    std::filesystem::create_directories(folder);
    make_database(folder + "/2024.03.05 14.07.09", {100, 105, 110}, "A12 : 7", "левый");
    make_database(folder + "/2024.03.05 15.21.40", {4000000000u, 4000000005u}, "A12 : 8", "правый");
    configure([&](wxConfigBase& config) {
        config.Write(cfg::dpp_port, wxString(odometer.path()));
        config.Write(cfg::write_path, wxString(folder));
        config.Write(cfg::coordinate_server_enabled, false);
        config.Write(cfg::show_scale, true);
        config.Write(cfg::scale, 0.8);
    });
    jai_sim::camera_config camera = jai_sim::default_cameras()[1];
    camera.fps = 25;
    jai_sim::set_cameras({camera});
    open(size);
    remote(rc_start_recording);
    auto* bar = dynamic_cast<station_status_bar*>(frame_->GetStatusBar());
    ASSERT_NE(bar, nullptr);
    // The line is open and the camera delivers: every message finds a frame.
    ASSERT_TRUE(pump_until([&] {
        return journal().find(L"Последовательный порт: ") != std::wstring::npos &&
               !bar->GetStatusText(field_stream_info).empty();
    }));
    for (uint32_t v = 4000000000u; v <= 4000000040u; v += 5)
        odometer.send_new(v);
    ASSERT_TRUE(pump_until([&] {
        return bar->GetStatusText(field_recording).Contains(L"Записано: 9") &&
               !bar->GetStatusText(field_stream_info).empty() &&
               !bar->GetStatusText(field_disk).empty() && list()->columns_fitted() &&
               list()->GetItemCount() == 2;
    })) << wxString(bar->GetStatusText(field_recording))
        << " | " << wxString(bar->GetStatusText(field_stream_info)) << " | "
        << wxString(bar->GetStatusText(field_disk)) << " | " << list()->GetItemCount();
    auto* view = dynamic_cast<VImagePanel*>(frame_->FindWindow(id_camera_view));
    view->move_to(wxPoint(view->GetClientSize().x / 2, view->GetClientSize().y / 2), false);
    pump_events(500);

    // Each status field has room for its whole text, the red mark included.
    for (int field = 0; field < bar->fields(); ++field) {
        const wxString text = bar->GetStatusText(field);
        const int width = bar->GetTextExtent(text).x + kFieldTextMargin;
        if (field == field_stream_info && !GetParam().everything_in_view) {
            EXPECT_GE(bar->text_room(field), width / 2) << text;
        } else {
            EXPECT_GE(bar->text_room(field), width) << field << ": " << text;
        }
    }
    bar->set_faults(fault_no_frames);
    EXPECT_GE(bar->text_room(field_recording),
              bar->GetTextExtent(bar->GetStatusText(field_recording)).x + kFieldTextMargin);
    bar->set_faults(0);

    // The tool bar shows the whole camera description and both choices.
    wxToolBar* tools = frame_->GetToolBar();
    auto* cameras = dynamic_cast<wxChoice*>(frame_->FindWindow(id_camera_choice));
    auto* exposure = dynamic_cast<wxChoice*>(frame_->FindWindow(id_exposure_choice));
    ASSERT_TRUE(cameras && exposure);
    EXPECT_GE(cameras->GetSize().x, cameras->GetTextExtent(cameras->GetStringSelection()).x + 24)
        << cameras->GetStringSelection();
    EXPECT_LE(exposure->GetScreenRect().GetRight(), tools->GetScreenRect().GetRight());

    // Every column of the list fits its heading and its texts, within the pane.
    int columns = 0;
    for (int column = 0; column < list()->GetColumnCount(); ++column) {
        wxListItem heading;
        heading.SetMask(wxLIST_MASK_TEXT);
        list()->GetColumn(column, heading);
        EXPECT_GE(list()->GetColumnWidth(column), list()->GetTextExtent(heading.GetText()).x)
            << heading.GetText();
        for (long row = 0; row < list()->GetItemCount(); ++row) {
            EXPECT_GE(list()->GetColumnWidth(column),
                      list()->GetTextExtent(list()->GetItemText(row, column)).x);
        }
        columns += list()->GetColumnWidth(column);
    }
    if (GetParam().everything_in_view) {
        EXPECT_LE(columns, list()->GetClientSize().x);
    }

    save_screenshot(frame_, "recording_" + size_name(size));
    remote(rc_stop);
}

INSTANTIATE_TEST_SUITE_P(station_screens, screenshot_test,
                         testing::Values(screen{wxSize(1366, 768), false},
                                         screen{wxSize(1920, 1080), true}),
                         [](const testing::TestParamInfo<screen>& info) {
                             return size_name(info.param.size);
                         });
