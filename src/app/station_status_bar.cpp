#include "app/station_status_bar.h"

#include "camera/capture_thread.h"
#include "database/load_thread.h"
#include "recording/write_thread.h"

#include <wx/dc.h>

#include <algorithm>
#include <numeric>

namespace {

// Room around a field's text: the field's borders, the bar's text margins
// and a little air.
constexpr int kTextPadding = 14;
// Between the red mark and the text.
constexpr int kMarkGap = 4;

// A text each field shows some way into a recording: the fields start wide
// enough for them, so they seldom shift while the numbers grow. The disk
// line comes once, at the end of a scan, and stays.
wxString typical_text(int field) {
    switch (field) {
        case field_grab_stats:
            return capture_thread::statistics_text(99999, 9, 9, 9, 99);
        case field_stream_info:
            return capture_thread::stream_info_text(99999999, 9, 99);
        case field_recording:
            return write_thread::status_text(odometer_new, 9999999, 99999, 9, 9);
        case field_disk:
            return load_thread::disk_space_text(L"/", 0, 0);
        case field_fleet:
            return L"Хранилище: выгрузка 100%, 9999.9 из 9999.9 МБ, 99.9 МБ/с";
        default:
            return wxEmptyString;
    }
}

}  // namespace

station_status_bar::station_status_bar(wxWindow* parent) : wxStatusBar(parent, wxID_ANY) {
    SetFieldsCount(fields_);
    for (int field = 0; field < status_field_count; ++field)
        needed_[field] = width_of(field, typical_text(field));
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        fit_fields();
        event.Skip();
    });
    fit_fields();
}

int station_status_bar::width_of(int field, const wxString& text) const {
    int width = GetTextExtent(text).GetWidth() + kTextPadding;
    // The recording field leaves room for its red mark at all times.
    if (field == field_recording) width += GetCharHeight() + kMarkGap;
    return width;
}

void station_status_bar::DoUpdateStatusText(int field) {
    if (field >= 0 && field < fields_) {
        const int width = width_of(field, GetStatusText(field));
        if (width > needed_[field]) {
            needed_[field] = width;
            fit_fields();
        }
    }
    wxStatusBar::DoUpdateStatusText(field);
}

void station_status_bar::fit_fields() {
    const int room = GetClientSize().GetWidth();
    const int others =
        std::accumulate(needed_.begin(), needed_.begin() + fields_, 0) - needed_[field_stream_info];
    std::array<int, status_field_count> widths = needed_;
    if (room <= 0 || room - others >= needed_[field_stream_info] / 2) {
        // The stream information, the least of the fields to the operator,
        // takes the rest of the bar, and alone gives up room when short.
        widths[field_stream_info] = -1;
    } else {
        for (int i = 0; i < fields_; ++i)
            widths[i] = -needed_[i];  // shares in proportion
    }
    SetStatusWidths(fields_, widths.data());
}

void station_status_bar::show_fleet_field(bool show) {
    const int fields = show ? status_field_count : field_fleet;
    if (fields == fields_) return;
    fields_ = fields;
    SetFieldsCount(fields_);
    fit_fields();
}

void station_status_bar::set_faults(int faults) {
    if (faults == faults_) return;
    faults_ = faults;
    Refresh();
}

int station_status_bar::mark_side(const wxRect& field) const {
    return std::max(4, field.height - 6);
}

int station_status_bar::text_room(int field) const {
    wxRect rect;
    if (!GetFieldRect(field, rect)) return 0;
    if (field == field_recording && faults_ != 0) rect.width -= mark_side(rect) + kMarkGap;
    return rect.width;
}

void station_status_bar::DrawField(wxDC& dc, int i, int textHeight) {
    if (i != field_recording || faults_ == 0) {
        wxStatusBar::DrawField(dc, i, textHeight);
        return;
    }
    wxRect rect;
    if (!GetFieldRect(i, rect)) return;
    // A red square at the field's left, then the text in red beside it.
    const int side = mark_side(rect);
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(*wxRED_BRUSH);
    dc.DrawRectangle(rect.x + 2, rect.y + (rect.height - side) / 2, side, side);
    const wxColour previous = dc.GetTextForeground();
    dc.SetTextForeground(*wxRED);
    rect.x += side + kMarkGap;
    rect.width -= side + kMarkGap;
    DrawFieldText(dc, rect, i, textHeight);
    dc.SetTextForeground(previous);
}
