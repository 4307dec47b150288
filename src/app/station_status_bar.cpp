#include "app/station_status_bar.h"

#include "runtime/thread_events.h"

#include <wx/dc.h>

station_status_bar::station_status_bar(wxWindow* parent) : wxStatusBar(parent, wxID_ANY) {
    SetFieldsCount(status_field_count);
}

void station_status_bar::set_faults(int faults) {
    if (faults == faults_) return;
    faults_ = faults;
    Refresh();
}

void station_status_bar::DrawField(wxDC& dc, int i, int textHeight) {
    if (i != field_recording || faults_ == 0) {
        wxStatusBar::DrawField(dc, i, textHeight);
        return;
    }
    wxRect rect;
    if (!GetFieldRect(i, rect)) return;
    // A red square at the field's left, then the text in red beside it.
    const int side = std::max(4, rect.height - 6);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(*wxRED_BRUSH);
    dc.DrawRectangle(rect.x + 2, rect.y + (rect.height - side) / 2, side, side);
    const wxColour previous = dc.GetTextForeground();
    dc.SetTextForeground(*wxRED);
    rect.x += side + 4;
    rect.width -= side + 4;
    DrawFieldText(dc, rect, i, textHeight);
    dc.SetTextForeground(previous);
}
