// The frame viewer and its image panel on real windows.
#include "support/gui_helpers.h"
#include "database/ldb_reader.h"
#include "support/sample_db.h"
#include "support/test_home.h"
#include "app/database/viewer_dialog.h"
#include "app/database/VImagePanel.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// The panel drawn into a bitmap; true where the ruler's yellow is.
struct drawing {
    wxImage pixels;
    bool ruler(int x, int y) const {
        return pixels.GetRed(x, y) > 200 && pixels.GetGreen(x, y) > 200 &&
               pixels.GetBlue(x, y) < 50;
    }
};

drawing draw(VImagePanel& panel) {
    wxBitmap bitmap(640, 480, 24);
    {
        wxMemoryDC dc(bitmap);
        panel.draw(dc, wxSize(640, 480));
    }
    return {bitmap.ConvertToImage()};
}

}  // namespace

TEST(viewer, opens_on_the_first_frame_and_seeks_at_or_after_the_position) {
    test_home dir;
    make_database(dir / "db", {100, 105, 110}, "A : B", "left", true, cv::Size(320, 200));
    viewer_dialog viewer(nullptr, dir / "db");
    EXPECT_DOUBLE_EQ(viewer.position()->GetMin(), 100);
    EXPECT_DOUBLE_EQ(viewer.position()->GetMax(), 110);
    EXPECT_DOUBLE_EQ(viewer.position()->GetIncrement(), 5);
    EXPECT_DOUBLE_EQ(viewer.position()->GetValue(), 100);
    EXPECT_NEAR(cv::mean(viewer.current_image())[0], sample_brightness(100), 1.0);
    ASSERT_TRUE(viewer.panel()->image().IsOk());
    EXPECT_EQ(viewer.panel()->image().GetWidth(), 320);
    viewer.show_position(103.7);
    EXPECT_NEAR(cv::mean(viewer.current_image())[0], sample_brightness(105), 1.0);
    viewer.Show();
    viewer.panel()->move_to({400, 300}, false);  // the ruler follows the mouse
    pump_events(300);
    save_screenshot(&viewer, "viewer");
}

TEST(viewer, two_saves_write_consecutive_frames_as_stored) {
    test_home dir;
    make_database(dir / "db", {100, 105, 110}, "A : B", "left");
    viewer_dialog viewer(nullptr, dir / "db");
    viewer.show_position(105);
    const wxString first = viewer.save_current_frame(dir / "0000000105.png");
    const wxString second = viewer.save_current_frame(dir / "picked name.jpg");
    EXPECT_EQ(first, dir / "0000000105.png");
    EXPECT_EQ(second, dir / "0000000110.jpg");  // folder and extension kept, key as name
    ldb_reader reader(dir / "db");
    reader.seek_frame(105);
    EXPECT_TRUE(file_bytes(first.ToStdString()) == reader.frame_bytes().second);
    reader.seek_frame(110);
    EXPECT_TRUE(file_bytes(second.ToStdString()) == reader.frame_bytes().second);
    // At the last frame it stays there.
    EXPECT_EQ(viewer.save_current_frame(dir / "again.png"), dir / "0000000110.png");
}

TEST(viewer, zoom_follows_the_wheel_and_never_drops_below_one) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "panel");
    auto* panel = new VImagePanel(frame, wxID_ANY);
    panel->wheel(120, 120);  // ignored without an image
    EXPECT_DOUBLE_EQ(panel->zoom(), 1.0);
    panel->set_image(wxImage(100, 100));
    panel->wheel(120, 120);
    EXPECT_DOUBLE_EQ(panel->zoom(), 2.0);
    panel->wheel(-600, 120);
    EXPECT_DOUBLE_EQ(panel->zoom(), 1.0);
    panel->press({10, 10});
    panel->move_to({30, 25}, true);  // a drag moves the image by the mouse's way
    EXPECT_EQ(panel->offset(), wxPoint(20, 15));
    frame->Destroy();
}

TEST(viewer, the_ruler_at_scale_0_8_and_zoom_1_has_an_80_pixel_line_and_a_60_pixel_bar) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "panel");
    auto* panel = new VImagePanel(frame, wxID_ANY);
    panel->set_image(wxImage(640, 480));  // black
    panel->set_scale(0.8);
    panel->move_to({300, 300}, false);
    const drawing at_one = draw(*panel);
    // The scale line runs 80 pixels up from the anchor.
    EXPECT_TRUE(at_one.ruler(300, 299));
    EXPECT_TRUE(at_one.ruler(300, 221));
    EXPECT_FALSE(at_one.ruler(300, 215));
    // The 75 mm bar: 60 pixels wide, 40 below the anchor.
    EXPECT_TRUE(at_one.ruler(241, 340));
    EXPECT_TRUE(at_one.ruler(299, 340));
    EXPECT_TRUE(at_one.ruler(240, 330));
    EXPECT_FALSE(at_one.ruler(235, 340));
    // Ticks of 10 (30 px) and 5 (10 px) mm; no 1 mm ticks at zoom 1.
    EXPECT_TRUE(at_one.ruler(271, 300));
    EXPECT_TRUE(at_one.ruler(291, 296));  // 5 mm at y - 4
    EXPECT_FALSE(at_one.ruler(285, 296));
    EXPECT_FALSE(at_one.ruler(296, 298));
    panel->wheel(240, 120);  // zoom 3: 1 mm ticks, 2.4 pixels apart
    const drawing at_three = draw(*panel);
    EXPECT_TRUE(at_three.ruler(296, 298));
    EXPECT_TRUE(at_three.ruler(300, 300 - 239));  // the line is 240 pixels now
    panel->show_ruler(false);
    EXPECT_FALSE(draw(*panel).ruler(300, 299));
    frame->Destroy();
}

TEST(viewer, the_coverage_strip_places_the_gaps_and_leads_to_them) {
    test_home dir;
    make_database(dir / "db", {100, 105, 110, 130, 135, 140, 160}, "A : B", "left", true,
                  cv::Size(64, 48));
    viewer_dialog viewer(nullptr, dir / "db");
    const coverage& shown = viewer.strip()->shown();
    ASSERT_EQ(shown.gaps.size(), 2u);
    EXPECT_EQ(shown.gaps[0].start, 110u);
    EXPECT_EQ(shown.gaps[1].start, 140u);
    EXPECT_EQ(viewer.summary(), L"Пропусков: 2, покрыто: 50.0% (кадров: 7, шаг: 5)");
    EXPECT_EQ(viewer.current_frame(), 100u);
    EXPECT_TRUE(viewer.jump_to_gap(true));
    EXPECT_EQ(viewer.current_frame(), 110u);
    EXPECT_DOUBLE_EQ(viewer.position()->GetValue(), 110);
    EXPECT_TRUE(viewer.jump_to_gap(true));
    EXPECT_EQ(viewer.current_frame(), 140u);
    EXPECT_FALSE(viewer.jump_to_gap(true));  // no gap after the last
    EXPECT_TRUE(viewer.jump_to_gap(false));
    EXPECT_EQ(viewer.current_frame(), 110u);
    // A click: the nearest frame to the position under it.
    EXPECT_EQ(viewer.nearest_frame(127), 130u);
    EXPECT_EQ(viewer.nearest_frame(118), 110u);
    EXPECT_EQ(viewer.nearest_frame(5), 100u);
    EXPECT_EQ(viewer.nearest_frame(999), 160u);
    // Drawn: red where the gaps are, green where frames were recorded.
    wxBitmap bitmap(600, 18, 24);
    {
        wxMemoryDC dc(bitmap);
        viewer.strip()->draw(dc, wxSize(600, 18));
    }
    const wxImage pixels = bitmap.ConvertToImage();
    const int gap = viewer.strip()->x_of(120, 600), recorded = viewer.strip()->x_of(102, 600);
    EXPECT_GT(pixels.GetRed(gap, 9), 200);
    EXPECT_LT(pixels.GetGreen(gap, 9), 80);
    EXPECT_GT(pixels.GetGreen(recorded, 9), 120);
    EXPECT_LT(pixels.GetRed(recorded, 9), 100);
    EXPECT_EQ(viewer.strip()->position_at(gap, 600) / 10, 12u);
    viewer.Show();
    pump_events(300);
    save_screenshot(&viewer, "viewer_coverage");
}

namespace {

// A grey frame twice as wide as the panel's window: fitted at half size.
wxImage wide_frame() {
    wxImage image(1280, 480);
    image.SetRGB(wxRect(0, 0, 1280, 480), 128, 128, 128);
    image.SetRGB(wxRect(0, 0, 20, 20), 250, 250, 250);  // a white corner
    return image;
}

bool grey(const drawing& d, int x, int y) {
    return d.pixels.GetRed(x, y) == 128 && d.pixels.GetBlue(x, y) == 128;
}

bool black(const drawing& d, int x, int y) {
    return d.pixels.GetRed(x, y) == 0 && d.pixels.GetGreen(x, y) == 0 &&
           d.pixels.GetBlue(x, y) == 0;
}

}  // namespace

TEST(live_view, starts_with_the_whole_frame_fitted_and_centred) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "live");
    auto* panel = new VImagePanel(frame, wxID_ANY);
    panel->set_fit_to_window(true);
    panel->show_ruler(false);
    panel->set_image(wide_frame());
    const drawing fitted = draw(*panel);
    EXPECT_DOUBLE_EQ(panel->screen_scale(wxSize(640, 480)), 0.5);
    // 640 x 240, from y 120 to 360.
    EXPECT_TRUE(black(fitted, 320, 115));
    EXPECT_TRUE(grey(fitted, 320, 125));
    EXPECT_TRUE(grey(fitted, 639, 355));
    EXPECT_TRUE(black(fitted, 320, 365));
    EXPECT_FALSE(grey(fitted, 5, 125));  // the white corner, 10 x 10 now
    EXPECT_TRUE(grey(fitted, 15, 125));
    frame->Destroy();
}

TEST(live_view, zoom_and_pan_work_on_the_fitted_frame_and_a_double_click_fits_it_again) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "live");
    auto* panel = new VImagePanel(frame, wxID_ANY);
    panel->set_fit_to_window(true);
    panel->show_ruler(false);
    panel->set_image(wide_frame());
    const drawing fitted = draw(*panel);
    panel->wheel(240, 120);  // zoom 3: one frame pixel is 1.5 screen pixels
    EXPECT_DOUBLE_EQ(panel->screen_scale(wxSize(640, 480)), 1.5);
    const drawing zoomed = draw(*panel);
    // The picture grows from the window's corner, as the viewer's does:
    // the fitted top (y 120) now lies at 360, the white corner 30 pixels wide.
    EXPECT_TRUE(black(zoomed, 100, 355));
    EXPECT_FALSE(grey(zoomed, 5, 365));
    EXPECT_TRUE(grey(zoomed, 35, 365));
    EXPECT_TRUE(grey(zoomed, 600, 470));
    // A drag moves it by the mouse's way times the zoom.
    panel->press({100, 100});
    panel->move_to({100, 20}, true);
    const drawing panned = draw(*panel);
    EXPECT_TRUE(grey(panned, 35, 125));
    EXPECT_FALSE(grey(panned, 5, 125));
    EXPECT_TRUE(black(panned, 35, 115));

    wxMouseEvent twice(wxEVT_LEFT_DCLICK);
    panel->GetEventHandler()->ProcessEvent(twice);
    EXPECT_DOUBLE_EQ(panel->zoom(), 1.0);
    EXPECT_EQ(panel->offset(), wxPoint(0, 0));
    const drawing again = draw(*panel);
    EXPECT_TRUE(again.pixels.GetData() != nullptr);
    EXPECT_EQ(std::memcmp(again.pixels.GetData(), fitted.pixels.GetData(), 640 * 480 * 3), 0);
    frame->Destroy();
}

TEST(live_view, the_ruler_measures_on_the_screen_scale) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "live");
    auto* panel = new VImagePanel(frame, wxID_ANY);
    panel->set_fit_to_window(true);
    panel->set_image(wide_frame());
    panel->set_scale(0.8);  // frame pixels per millimetre
    panel->move_to({300, 300}, false);
    // Fitted at half size: 0.4 screen pixels per millimetre, a 40 pixel line.
    const drawing fitted = draw(*panel);
    EXPECT_TRUE(fitted.ruler(300, 262));
    EXPECT_FALSE(fitted.ruler(300, 255));
    EXPECT_TRUE(fitted.ruler(271, 340));  // the 75 mm bar: 30 pixels
    EXPECT_FALSE(fitted.ruler(265, 340));
    panel->wheel(120, 120);  // zoom 2: 80 pixels
    const drawing zoomed = draw(*panel);
    EXPECT_TRUE(zoomed.ruler(300, 222));
    EXPECT_FALSE(zoomed.ruler(300, 215));
    panel->show_ruler(false);
    EXPECT_FALSE(draw(*panel).ruler(300, 250));
    frame->Destroy();
}
