#include "VImagePanel.h"

#include <wx/dcbuffer.h>

VImagePanel::VImagePanel(wxWindow* parent, wxWindowID id)
    : wxWindow(parent, id, wxDefaultPosition, wxSize(640, 480), wxFULL_REPAINT_ON_RESIZE) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &VImagePanel::on_paint, this);
}

void VImagePanel::set_image(const wxImage& image) {
    image_ = image.Copy();
    bitmap_ = wxBitmap();
    Refresh(false);
}

void VImagePanel::on_paint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    if (!image_.IsOk()) return;
    const wxSize client = GetClientSize();
    // The live view fits the whole frame into the window, keeping its aspect.
    const double fit =
        std::min(double(client.x) / image_.GetWidth(), double(client.y) / image_.GetHeight()) *
        zoom_;
    const int w = std::max(1, int(image_.GetWidth() * fit));
    const int h = std::max(1, int(image_.GetHeight() * fit));
    if (!bitmap_.IsOk() || bitmap_.GetWidth() != w || bitmap_.GetHeight() != h) {
        bitmap_ = wxBitmap(image_.Scale(w, h, wxIMAGE_QUALITY_BILINEAR));
    }
    dc.DrawBitmap(bitmap_, offset_.x + (client.x - w) / 2, offset_.y + (client.y - h) / 2);
}
