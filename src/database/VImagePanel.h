// A window that shows one image at a zoom and offset on black. The main
// window uses it as the live camera view (window id 2).
// User-interface thread only.
#pragma once

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/window.h>

class VImagePanel : public wxWindow {
  public:
    VImagePanel(wxWindow* parent, wxWindowID id);

    // Takes a copy of the image and redraws.
    void set_image(const wxImage& image);
    const wxImage& image() const { return image_; }

  private:
    void on_paint(wxPaintEvent& event);

    wxImage image_;
    wxBitmap bitmap_;  // the image as last drawn, rebuilt on change
    double zoom_ = 1.0;
    wxPoint offset_{0, 0};
};
