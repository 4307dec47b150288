// The list of recorded databases on the main window (window id 3): a virtual,
// single-selection report list holding its own copy of the catalogue's
// entries as rows. It never touches the catalogue: the window gives it rows.
// User-interface thread only.
#pragma once

#include "database/ldb_info.h"

#include <wx/listctrl.h>

#include <functional>
#include <vector>

class database_list : public wxListCtrl {
  public:
    database_list(wxWindow* parent, wxWindowID id);

    // Replaces every row (a snapshot of the catalogue) and sizes the columns.
    void show(std::vector<ldb_entry> rows);
    // Appends one row; columns widen to fit it. Costs the same whatever the
    // list's length.
    void add_row(const ldb_entry& row);
    // Replaces the row with this path, if there is one.
    void update_row(const ldb_entry& row);
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
    // Widens the columns to fit the row's texts.
    void fit_columns(const ldb_entry& row);
    void reset_columns();

    std::vector<ldb_entry> rows_;
    std::vector<int> widths_;  // text width of each column's widest cell or heading
};
