// The main window's status bar: four fields of equal width (see status_field)
// whose texts the thread events set. While the recording has a fault (the
// recording_fault bits of evt_dpp_status), the recording field carries a red
// mark and red text, its text staying the recorder's; the journal says which
// faults began and ended. User-interface thread only.
#pragma once

#include <wx/statusbr.h>

class station_status_bar : public wxStatusBar {
  public:
    explicit station_status_bar(wxWindow* parent);

    // The recording_fault bits now set; 0 clears the mark.
    void set_faults(int faults);
    int faults() const { return faults_; }

  protected:
    void DrawField(wxDC& dc, int i, int textHeight) override;

  private:
    int faults_ = 0;
};
