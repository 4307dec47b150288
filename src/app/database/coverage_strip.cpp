#include "app/database/coverage_strip.h"

#include <wx/dcbuffer.h>

#include <algorithm>

namespace {
const wxColour kRecorded(60, 160, 60);
const wxColour kGap(220, 30, 30);
const wxColour kEmpty(90, 90, 90);
}  // namespace

coverage_strip::coverage_strip(wxWindow* parent, int height)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(-1, height)) {
    SetMinSize(wxSize(100, height));
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &coverage_strip::on_paint, this);
    Bind(wxEVT_LEFT_DOWN, &coverage_strip::on_click, this);
}

void coverage_strip::set_coverage(const coverage& c) {
    coverage_ = c;
    Refresh(false);
}

void coverage_strip::set_position(std::optional<uint32_t> value) {
    position_ = value;
    Refresh(false);
}

uint32_t coverage_strip::position_at(int x, int width) const {
    if (width <= 1 || coverage_.span() == 0) return coverage_.first;
    const double share = std::clamp(double(x) / double(width - 1), 0.0, 1.0);
    return coverage_.first + uint32_t(share * double(coverage_.span()) + 0.5);
}

int coverage_strip::x_of(uint32_t value, int width) const {
    if (coverage_.span() == 0 || value <= coverage_.first) return 0;
    const double share = double(value - coverage_.first) / double(coverage_.span());
    return std::min(width - 1, int(share * double(width - 1) + 0.5));
}

void coverage_strip::draw(wxDC& dc, const wxSize& size) const {
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(coverage_.frames ? kRecorded : kEmpty));
    dc.DrawRectangle(0, 0, size.x, size.y);
    dc.SetBrush(wxBrush(kGap));
    for (const auto& gap : coverage_.gaps) {
        const int from = x_of(gap.start, size.x);
        const int to = x_of(gap.end, size.x);
        dc.DrawRectangle(from, 0, std::max(1, to - from), size.y);
    }
    if (position_ && coverage_.frames) {
        const int x = x_of(*position_, size.x);
        dc.SetBrush(*wxBLACK_BRUSH);
        dc.DrawRectangle(std::max(0, x - 1), 0, 3, size.y);
    }
}

void coverage_strip::on_paint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    draw(dc, GetClientSize());
}

void coverage_strip::on_click(wxMouseEvent& event) {
    if (pick_ && coverage_.frames) pick_(position_at(event.GetX(), GetClientSize().x));
}
