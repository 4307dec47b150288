#include "app/tool_art.h"

#include <wx/dcmemory.h>

#include <cmath>

namespace {

constexpr int kSize = 24;

template <typename Draw>
wxBitmap draw(int size, Draw&& paint) {
    wxBitmap bitmap(size, size, 32);
    bitmap.UseAlpha();
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(wxBrush(wxColour(0, 0, 0, 0)));
        dc.Clear();
        paint(dc);
    }
    wxImage image = bitmap.ConvertToImage();
    // Transparent where nothing was painted.
    if (!image.HasAlpha()) image.InitAlpha();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const bool empty =
                image.GetRed(x, y) == 0 && image.GetGreen(x, y) == 0 && image.GetBlue(x, y) == 0;
            image.SetAlpha(x, y, empty ? 0 : 255);
        }
    return wxBitmap(image);
}

}  // namespace

wxBitmap camera_tool_image() {
    return draw(kSize, [](wxDC& dc) {
        dc.SetPen(wxPen(wxColour(40, 40, 60), 1));
        dc.SetBrush(wxBrush(wxColour(70, 90, 130)));
        dc.DrawRoundedRectangle(2, 7, 20, 14, 3);
        dc.DrawRectangle(7, 4, 8, 4);
        dc.SetBrush(wxBrush(wxColour(200, 220, 255)));
        dc.DrawCircle(12, 14, 5);
        dc.SetBrush(wxBrush(wxColour(30, 30, 50)));
        dc.DrawCircle(12, 14, 2);
    });
}

wxBitmap settings_tool_image() {
    return draw(kSize, [](wxDC& dc) {
        dc.SetPen(wxPen(wxColour(70, 70, 70), 3));
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            dc.DrawLine(12 + int(5 * std::cos(a)), 12 + int(5 * std::sin(a)),
                        12 + int(10 * std::cos(a)), 12 + int(10 * std::sin(a)));
        }
        dc.SetPen(wxPen(wxColour(70, 70, 70), 1));
        dc.SetBrush(wxBrush(wxColour(150, 150, 150)));
        dc.DrawCircle(12, 12, 7);
        dc.SetBrush(wxBrush(wxColour(240, 240, 240)));
        dc.DrawCircle(12, 12, 3);
    });
}

wxBitmap exit_tool_image() {
    return draw(kSize, [](wxDC& dc) {
        dc.SetPen(wxPen(wxColour(120, 20, 20), 1));
        dc.SetBrush(wxBrush(wxColour(200, 50, 40)));
        dc.DrawCircle(12, 12, 10);
        dc.SetPen(wxPen(wxColour(255, 255, 255), 3));
        dc.DrawLine(8, 8, 16, 16);
        dc.DrawLine(16, 8, 8, 16);
    });
}

wxIcon station_icon() {
    wxIcon icon;
    icon.CopyFromBitmap(station_icon_bitmap());
    return icon;
}

wxBitmap station_icon_bitmap() {
    return draw(32, [](wxDC& dc) {
        dc.SetPen(wxPen(wxColour(30, 30, 30), 1));
        dc.SetBrush(wxBrush(wxColour(90, 90, 100)));
        dc.DrawRectangle(2, 4, 28, 14);  // car body
        dc.SetBrush(wxBrush(wxColour(20, 20, 20)));
        dc.DrawCircle(8, 20, 4);
        dc.DrawCircle(24, 20, 4);
        dc.SetPen(wxPen(wxColour(200, 200, 210), 2));
        dc.DrawLine(1, 27, 31, 27);  // rail
        dc.SetPen(wxPen(wxColour(60, 140, 230), 1));
        dc.SetBrush(wxBrush(wxColour(60, 140, 230)));
        dc.DrawRectangle(14, 18, 4, 4);  // camera under the car
    });
}
