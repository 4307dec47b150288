// The main window's status bar: four fields (status_field) whose texts the
// thread events set, in their fixed order, and a fifth, the fleet store's
// transfers, while the fleet store is on. While the recording has a
// fault (the recording_fault bits of evt_dpp_status), the recording field
// carries a red mark and red text, its text staying the recorder's; the
// journal says which faults began and ended.
//
// Field widths follow their texts, so that the counters are never cut off:
// the statistics, recording and disk fields are as wide as the widest text
// each has shown (at least that of a typical running station), and the
// stream information takes the rest of the bar; when the bar is short, it
// is the one cut. Only when the window is too narrow for even half of it do
// the four share the bar in proportion to their texts.
// User-interface thread only.
#pragma once

#include <wx/statusbr.h>

#include <array>

// The fields, left to right, and the event whose text each shows.
enum status_field : int {
    field_grab_stats = 0,   // evt_grab_stats
    field_stream_info = 1,  // evt_stream_info
    field_recording = 2,    // evt_dpp_status
    field_disk = 3,         // evt_thread_status
    field_fleet = 4,        // evt_fleet_progress, shown while the fleet store is on
    status_field_count = 5,
};

class station_status_bar : public wxStatusBar {
  public:
    explicit station_status_bar(wxWindow* parent);

    // The recording_fault bits now set; 0 clears the mark.
    void set_faults(int faults);
    int faults() const { return faults_; }

    // Shows or hides the fleet store's field (hidden at first).
    void show_fleet_field(bool show);
    int fields() const { return fields_; }

    // The room the text of the field has when drawn (its mark left out).
    int text_room(int field) const;

  protected:
    void DrawField(wxDC& dc, int i, int textHeight) override;
    // A field's new text: the field widens first when the text needs it.
    void DoUpdateStatusText(int field) override;

  private:
    int width_of(int field, const wxString& text) const;
    void fit_fields();
    int mark_side(const wxRect& field) const;

    int faults_ = 0;
    int fields_ = field_fleet;  // shown now
    std::array<int, status_field_count> needed_{};
};
