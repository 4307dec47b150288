// The list of recorded databases on the main window (window id 3): a virtual,
// single-selection report list holding its own copy of the catalogue.
// User-interface thread only.
#pragma once

#include "database/ldb_info.h"

#include <wx/listctrl.h>

#include <vector>

class database_list : public wxListCtrl {
  public:
    database_list(wxWindow* parent, wxWindowID id);

    // Replaces the rows by copies of the catalogue. The caller holds catalogue::lock().
    void refresh(const std::vector<ldb_entry>& entries);

    // The evt_db_list handler: appends the event's ldb_info payload with the
    // event's string as path to the catalogue and refreshes, under the
    // exclusive catalogue lock.
    void append_entry(const wxThreadEvent& event);
    // Empties the catalogue and the rows.
    void clear();

    // Path of the first selected row; empty without rows or selection.
    wxString selected_path() const;
    long selected_row() const;
    const std::vector<ldb_entry>& rows() const { return rows_; }

    // Cell text of a row, as shown.
    static wxString cell_text(const ldb_entry& entry, long column);

  protected:
    wxString OnGetItemText(long item, long column) const override;

  private:
    std::vector<ldb_entry> rows_;
};
