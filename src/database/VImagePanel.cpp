#include "database/VImagePanel.h"

#include <wx/dcbuffer.h>

#include <algorithm>

VImagePanel::VImagePanel(wxWindow* parent, wxWindowID id)
    : wxPanel(parent, id, wxDefaultPosition, wxSize(640, 480), wxTAB_TRAVERSAL) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    wxImage transparent(32, 32);  // black, and black is its mask colour
    transparent.SetMaskColour(0, 0, 0);
    hidden_cursor_ = wxCursor(transparent);
    Bind(wxEVT_PAINT, &VImagePanel::on_paint, this);
    for (auto type : {wxEVT_ENTER_WINDOW, wxEVT_LEAVE_WINDOW, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP,
                      wxEVT_MOTION, wxEVT_MOUSEWHEEL}) {
        Bind(type, &VImagePanel::on_mouse, this);
    }
}

void VImagePanel::set_image(const wxImage& image) {
    image_ = image.Copy();
    bitmap_ = image_.IsOk() ? wxBitmap(image_) : wxBitmap();
    Refresh(false);
}

void VImagePanel::wheel(int rotation, int delta) {
    if (!image_.IsOk() || delta == 0) return;
    zoom_ = std::max(1.0, zoom_ + double(rotation) / delta);
    Refresh(false);
}

void VImagePanel::press(const wxPoint& at) {
    if (!image_.IsOk()) return;
    last_ = at;
    Refresh(false);
}

void VImagePanel::move_to(const wxPoint& at, bool dragging) {
    if (!image_.IsOk()) return;
    if (dragging) {
        offset_.x += at.x - last_.x;
        offset_.y += at.y - last_.y;
        last_ = at;
    }
    anchor_ = at;
    Refresh(false);
}

void VImagePanel::set_resting_cursor() {
    SetCursor(show_ruler_ && !fit_ ? hidden_cursor_ : wxCursor(wxCURSOR_ARROW));
}

void VImagePanel::on_mouse(wxMouseEvent& event) {
    const wxEventType type = event.GetEventType();
    if (type == wxEVT_LEAVE_WINDOW) {
        SetCursor(wxCursor(wxCURSOR_ARROW));
        return;
    }
    if (!image_.IsOk()) return;
    if (type == wxEVT_ENTER_WINDOW) {
        set_resting_cursor();
    } else if (type == wxEVT_LEFT_DOWN) {
        SetCursor(wxCursor(wxCURSOR_HAND));
        press(event.GetPosition());
    } else if (type == wxEVT_LEFT_UP) {
        set_resting_cursor();
        Refresh(false);
    } else if (type == wxEVT_MOTION) {
        move_to(event.GetPosition(), event.LeftIsDown());
    } else if (type == wxEVT_MOUSEWHEEL) {
        wheel(event.GetWheelRotation(), event.GetWheelDelta());
    }
}

void VImagePanel::on_paint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    draw(dc, GetClientSize());
}

void VImagePanel::draw(wxDC& dc, const wxSize& size) {
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    if (!image_.IsOk()) return;
    if (fit_) {
        // The live view shows the whole frame, keeping its aspect.
        const double fit =
            std::min(double(size.x) / image_.GetWidth(), double(size.y) / image_.GetHeight());
        const int w = std::max(1, int(image_.GetWidth() * fit));
        const int h = std::max(1, int(image_.GetHeight() * fit));
        dc.DrawBitmap(wxBitmap(image_.Scale(w, h, wxIMAGE_QUALITY_BILINEAR)), (size.x - w) / 2,
                      (size.y - h) / 2);
        return;
    }
    dc.SetUserScale(zoom_, zoom_);
    dc.DrawBitmap(bitmap_, offset_.x, offset_.y);
    if (show_ruler_) draw_ruler(dc);
}

void VImagePanel::draw_ruler(wxDC& dc) {
    dc.SetUserScale(1, 1);
    const wxPen previous = dc.GetPen();
    dc.SetPen(*wxYELLOW_PEN);
    dc.SetTextForeground(*wxYELLOW);
    const double d = scale_ * zoom_;
    const int x = anchor_.x, y = anchor_.y;
    dc.DrawLine(x, y, x, int(y - 100 * d));
    for (int i = 0; i <= 100; ++i) {
        const int l = int(i * d);
        if (i % 10 == 0) {
            dc.DrawLine(x - 30, y - l, x, y - l);
            dc.DrawText(wxString::Format("%i", i), x + 5, y - l - 10);
        } else if (i % 5 == 0) {
            dc.DrawLine(x - 10, y - l, x, y - l);
        } else if (zoom_ > 2) {
            dc.DrawLine(x - 5, y - l, x, y - l);
        }
    }
    dc.DrawText(L"мм", x + 5, int(y - 110 * d - 10));
    const int bar = int(x - 75 * d);
    dc.DrawLine(x, y + 20, x, y + 40);
    dc.DrawLine(bar, y + 40, bar, y + 20);
    dc.DrawLine(bar, y + 40, x, y + 40);
    dc.DrawText(L"75 мм", int(x - 55 * d), y + 20);
    dc.SetPen(previous);
    dc.SetUserScale(zoom_, zoom_);
}
