// A strip drawing a session's coverage along the track: the recorded spans
// in green, the gaps in red (never narrower than a pixel, so a short gap in
// a long session still shows), and the current position as a dark mark. A
// click on it asks for the frame nearest the position clicked.
// User-interface thread only.
#pragma once

#include "database/coverage.h"

#include <wx/panel.h>

#include <functional>
#include <optional>

class coverage_strip : public wxPanel {
  public:
    // `height`: the strip's height in pixels.
    coverage_strip(wxWindow* parent, int height);

    void set_coverage(const coverage& c);
    const coverage& shown() const { return coverage_; }
    // The position marked; nothing marks none.
    void set_position(std::optional<uint32_t> value);
    // Called with the odometer position under a click.
    void on_pick(std::function<void(uint32_t)> pick) { pick_ = std::move(pick); }

    // The odometer position at x pixels of a strip `width` wide, and back.
    uint32_t position_at(int x, int width) const;
    int x_of(uint32_t value, int width) const;

    // Draws what paint draws, into any device context of the given size.
    void draw(wxDC& dc, const wxSize& size) const;

  private:
    void on_paint(wxPaintEvent&);
    void on_click(wxMouseEvent& event);

    coverage coverage_;
    std::optional<uint32_t> position_;
    std::function<void(uint32_t)> pick_;
};
