// The icon the package installs is the one the window draws.
#include "app/tool_art.h"
#include "support/gui_helpers.h"

#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/log.h>

#include <filesystem>

TEST(icon, the_packaged_icon_is_the_window_icon) {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    const wxImage drawn = station_icon_bitmap().ConvertToImage();
    ASSERT_TRUE(drawn.HasAlpha());
    // A fresh copy to put in its place when the drawing changes on purpose.
    std::filesystem::create_directories(ARTIFACT_DIR);
    drawn.SaveFile(std::string(ARTIFACT_DIR) + "/undercam.png", wxBITMAP_TYPE_PNG);

    // A file that is no PNG fails the test, without a log dialog waiting for a click.
    wxLogNull quiet;
    wxImage packaged;
    ASSERT_TRUE(packaged.LoadFile(PACKAGED_ICON, wxBITMAP_TYPE_PNG)) << PACKAGED_ICON;
    ASSERT_EQ(packaged.GetSize(), drawn.GetSize());
    ASSERT_TRUE(packaged.HasAlpha());
    int differing = 0;
    for (int y = 0; y < drawn.GetHeight(); ++y) {
        for (int x = 0; x < drawn.GetWidth(); ++x) {
            const bool same = drawn.GetRed(x, y) == packaged.GetRed(x, y) &&
                              drawn.GetGreen(x, y) == packaged.GetGreen(x, y) &&
                              drawn.GetBlue(x, y) == packaged.GetBlue(x, y) &&
                              drawn.GetAlpha(x, y) == packaged.GetAlpha(x, y);
            differing += !same;
        }
    }
    EXPECT_EQ(differing, 0) << "copy " << ARTIFACT_DIR << "/undercam.png to " << PACKAGED_ICON;
}
