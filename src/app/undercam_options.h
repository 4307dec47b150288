// The settings dialog: twenty-five settings in a property grid, grouped in
// nine categories; "Ok" writes all of them, "Отмена" and the close box
// nothing. A vehicle name the fleet store cannot take is refused on the
// dialog's own error line, with nothing written.
// User-interface thread only; the configuration is reached through the link,
// so workers reading it meanwhile never see a half-written object.
#pragma once

#include "runtime/app_link.h"

#include <wx/dialog.h>

class wxPropertyGrid;
class wxStaticText;

class undercam_options : public wxDialog {
  public:
    undercam_options(wxWindow* parent, const app_link_ptr& link);

    // Writes every property to the configuration, in the grid's order.
    void write_settings();

    wxPropertyGrid* grid() const { return grid_; }
    // What "Ok" checks before it writes: false, with the reason on the
    // dialog's error line (problem()), for a setting it refuses.
    bool check_settings();
    wxString problem() const;

  private:
    void on_ok(wxCommandEvent& event);

    void add_fleet_settings();

    wxPropertyGrid* grid_;
    wxStaticText* problem_;
    app_link_ptr link_;

    wxDECLARE_EVENT_TABLE();
};
