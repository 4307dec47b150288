#include "app/database/VImagePanel.h"

#include <wx/dcbuffer.h>

#include <algorithm>
#include <cmath>

VImagePanel::VImagePanel(wxWindow* parent, wxWindowID id)
    : wxPanel(parent, id, wxDefaultPosition, wxSize(640, 480), wxTAB_TRAVERSAL) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    wxImage transparent(32, 32);  // black, and black is its mask colour
    transparent.SetMaskColour(0, 0, 0);
    hidden_cursor_ = wxCursor(transparent);
    Bind(wxEVT_PAINT, &VImagePanel::on_paint, this);
    for (auto type : {wxEVT_ENTER_WINDOW, wxEVT_LEAVE_WINDOW, wxEVT_LEFT_DOWN, wxEVT_LEFT_UP,
                      wxEVT_LEFT_DCLICK, wxEVT_MOTION, wxEVT_MOUSEWHEEL}) {
        Bind(type, &VImagePanel::on_mouse, this);
    }
}

void VImagePanel::set_image(const wxImage& image) {
    image_ = image.Copy();
    // The live view scales what it shows from the image itself.
    bitmap_ = image_.IsOk() && !fit_ ? wxBitmap(image_) : wxBitmap();
    Refresh(false);
}

double VImagePanel::screen_scale(const wxSize& size) const {
    if (!fit_ || !image_.IsOk()) return zoom_;
    return zoom_ *
           std::min(double(size.x) / image_.GetWidth(), double(size.y) / image_.GetHeight());
}

void VImagePanel::reset_view() {
    zoom_ = 1.0;
    offset_ = wxPoint(0, 0);
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
    anchored_ = true;
    Refresh(false);
}

void VImagePanel::set_resting_cursor() {
    SetCursor(show_ruler_ ? hidden_cursor_ : wxCursor(wxCURSOR_ARROW));
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
    } else if (type == wxEVT_LEFT_DCLICK && fit_) {
        reset_view();
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
        draw_fitted(dc, size);
    } else {
        dc.SetUserScale(zoom_, zoom_);
        dc.DrawBitmap(bitmap_, offset_.x, offset_.y);
    }
    // The ruler's millimetres are image millimetres as the screen shows them.
    if (show_ruler_) draw_ruler(dc, scale_ * screen_scale(size), size);
}

void VImagePanel::draw_fitted(wxDC& dc, const wxSize& size) {
    const int w = image_.GetWidth(), h = image_.GetHeight();
    const double fit = std::min(double(size.x) / w, double(size.y) / h);
    const double s = fit * zoom_;
    // Where the image's corner lands: the fitted picture centred at zoom 1,
    // then zoomed and panned as the viewer's image is.
    const double x0 = (offset_.x + (size.x - w * fit) / 2) * zoom_;
    const double y0 = (offset_.y + (size.y - h * fit) / 2) * zoom_;
    // Only the part of the frame that lands in the window is scaled.
    const int left = std::clamp(int(std::floor(-x0 / s)), 0, w);
    const int top = std::clamp(int(std::floor(-y0 / s)), 0, h);
    const int right = std::clamp(int(std::ceil((size.x - x0) / s)), 0, w);
    const int bottom = std::clamp(int(std::ceil((size.y - y0) / s)), 0, h);
    if (right <= left || bottom <= top) return;
    const int at_x = int(std::lround(x0 + left * s)), at_y = int(std::lround(y0 + top * s));
    const int to_w = std::max(1, int(std::lround(x0 + right * s)) - at_x);
    const int to_h = std::max(1, int(std::lround(y0 + bottom * s)) - at_y);
    const wxImage part = left == 0 && top == 0 && right == w && bottom == h
                             ? image_
                             : image_.GetSubImage(wxRect(left, top, right - left, bottom - top));
    // Averaged when shrunk; the frame's own pixels, enlarged, when zoomed in.
    const auto quality = s < 1 ? wxIMAGE_QUALITY_BILINEAR : wxIMAGE_QUALITY_NEAREST;
    dc.DrawBitmap(wxBitmap(part.Scale(to_w, to_h, quality)), at_x, at_y);
}

void VImagePanel::draw_ruler(wxDC& dc, double d, const wxSize& size) {
    double user_x = 1, user_y = 1;
    dc.GetUserScale(&user_x, &user_y);
    dc.SetUserScale(1, 1);
    const wxPen previous = dc.GetPen();
    dc.SetPen(*wxYELLOW_PEN);
    dc.SetTextForeground(*wxYELLOW);
    // Until the mouse has come, the ruler stands in the middle of the panel.
    const wxPoint at = anchored_ ? anchor_ : wxPoint(size.x / 2, size.y / 2);
    const int x = at.x, y = at.y;
    // Every text whole inside the panel; labels of ticks outside it are left out.
    const auto label = [&](const wxString& text, int left, int top) {
        const wxSize extent = dc.GetTextExtent(text);
        const wxPoint put(std::clamp(left, 0, std::max(0, size.x - extent.x)),
                          std::clamp(top, 0, std::max(0, size.y - extent.y)));
        dc.DrawText(text, put);
        return put;
    };
    // The 10 mm labels stay a line apart: on a small scale every 50 or 100 mm.
    const int line = dc.GetCharHeight();
    const int label_every = 10 * d >= line ? 10 : 50 * d >= line ? 50 : 100;
    wxPoint top_label(x + 5, y);
    wxString top_text = "0";
    dc.DrawLine(x, y, x, int(y - 100 * d));
    for (int i = 0; i <= 100; ++i) {
        const int l = int(i * d);
        if (i % 10 == 0) {
            dc.DrawLine(x - 30, y - l, x, y - l);
            if (i % label_every == 0 && y - l >= 0) {
                top_text = wxString::Format("%i", i);
                top_label = label(top_text, x + 5, y - l - 10);
            }
        } else if (i % 5 == 0) {
            dc.DrawLine(x - 10, y - l, x, y - l);
        } else if (zoom_ > 2) {
            dc.DrawLine(x - 5, y - l, x, y - l);
        }
    }
    // The unit beside the topmost label, so the two never overlap.
    label(L"мм", top_label.x + dc.GetTextExtent(top_text + " ").x, top_label.y);
    const int bar = int(x - 75 * d);
    dc.DrawLine(x, y + 20, x, y + 40);
    dc.DrawLine(bar, y + 40, bar, y + 20);
    dc.DrawLine(bar, y + 40, x, y + 40);
    label(L"75 мм", int(x - 55 * d), y + 20);
    dc.SetPen(previous);
    dc.SetUserScale(user_x, user_y);
}
