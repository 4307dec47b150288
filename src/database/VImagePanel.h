// Shows one image at a zoom and offset on black, with a millimetre ruler at
// the mouse: the viewer's image panel, and the main window's live view
// (window id 2), which fits the whole frame into the window instead.
// Dragging with the left button pans, the wheel zooms (never below 1).
// User-interface thread only.
#pragma once

#include <wx/bitmap.h>
#include <wx/cursor.h>
#include <wx/image.h>
#include <wx/panel.h>

class VImagePanel : public wxPanel {
  public:
    VImagePanel(wxWindow* parent, wxWindowID id);

    // Takes a copy of the image and redraws.
    void set_image(const wxImage& image);
    const wxImage& image() const { return image_; }

    void set_scale(double scale) { scale_ = scale; }
    void show_ruler(bool show) { show_ruler_ = show; }
    // The live view: the whole image scaled into the window, no ruler.
    void set_fit_to_window(bool fit) { fit_ = fit; }

    double zoom() const { return zoom_; }
    wxPoint offset() const { return offset_; }

    // Draws what paint draws, into any device context of the given size.
    void draw(wxDC& dc, const wxSize& size);

    // Input as the mouse gives it (window pixels), for the handlers and tests.
    void wheel(int rotation, int delta);
    void press(const wxPoint& at);
    void move_to(const wxPoint& at, bool dragging);

  private:
    void on_paint(wxPaintEvent&);
    void on_mouse(wxMouseEvent& event);
    void draw_ruler(wxDC& dc);
    void set_resting_cursor();

    wxImage image_;
    double scale_ = 0.8;
    double zoom_ = 1.0;
    wxPoint last_{0, 0};
    wxPoint offset_{0, 0};
    wxPoint anchor_{0, 0};
    bool show_ruler_ = true;
    wxCursor hidden_cursor_;
    bool fit_ = false;
    wxBitmap bitmap_;  // the image as a bitmap, rebuilt when the image changes
};
