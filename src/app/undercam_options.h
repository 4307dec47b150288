// The settings dialog: sixteen settings in a property grid, grouped in eight
// categories; "Ok" writes all sixteen, "Отмена" and the close box nothing.
// User-interface thread only; the configuration is reached through the link,
// so workers reading it meanwhile never see a half-written object.
#pragma once

#include "runtime/app_link.h"

#include <wx/dialog.h>

class wxPropertyGrid;

class undercam_options : public wxDialog {
  public:
    undercam_options(wxWindow* parent, const app_link_ptr& link);

    // Writes every property to the configuration, in the grid's order.
    void write_settings();

    wxPropertyGrid* grid() const { return grid_; }

  private:
    void on_ok(wxCommandEvent& event);

    wxPropertyGrid* grid_;
    app_link_ptr link_;

    wxDECLARE_EVENT_TABLE();
};
