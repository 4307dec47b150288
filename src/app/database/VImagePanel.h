// Shows one image at a zoom and offset on black, with a millimetre ruler at
// the mouse (in the middle until the mouse comes): the viewer's image panel,
// and the main window's live view (window id 2). Dragging with the left button pans (the image
// moves by the mouse's way times the zoom), the wheel zooms (never below 1).
//
// The viewer shows the image's pixels one to one at zoom 1. The live view
// starts with the whole frame fitted into the window and centred; zoom and
// pan work on that fitted picture, its ruler measures on the screen's scale
// (fit times zoom), and a double click returns to the fitted view.
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
    // The live view: the whole image scaled into the window at zoom 1.
    void set_fit_to_window(bool fit) { fit_ = fit; }

    double zoom() const { return zoom_; }
    wxPoint offset() const { return offset_; }
    double scale() const { return scale_; }
    bool ruler_shown() const { return show_ruler_; }
    // Screen pixels per image pixel in a window of this size: the fit
    // (1 for the viewer) times the zoom.
    double screen_scale(const wxSize& size) const;
    // The live view's double click: zoom 1, no offset, the frame fitted again.
    void reset_view();

    // Draws what paint draws, into any device context of the given size.
    void draw(wxDC& dc, const wxSize& size);

    // Input as the mouse gives it (window pixels), for the handlers and tests.
    void wheel(int rotation, int delta);
    void press(const wxPoint& at);
    void move_to(const wxPoint& at, bool dragging);

  private:
    void on_paint(wxPaintEvent&);
    void on_mouse(wxMouseEvent& event);
    void draw_fitted(wxDC& dc, const wxSize& size);
    // `d`: screen pixels per millimetre; `size`: the panel's.
    void draw_ruler(wxDC& dc, double d, const wxSize& size);
    void set_resting_cursor();

    wxImage image_;
    double scale_ = 0.8;
    double zoom_ = 1.0;
    wxPoint last_{0, 0};
    wxPoint offset_{0, 0};
    wxPoint anchor_{0, 0};
    bool anchored_ = false;  // the mouse has placed the ruler
    bool show_ruler_ = true;
    wxCursor hidden_cursor_;
    bool fit_ = false;
    wxBitmap bitmap_;  // the image as a bitmap, rebuilt when the image changes
};
