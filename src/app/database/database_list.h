// The list of recorded databases on the main window (window id 3): a virtual,
// single-selection report list holding its own copy of the catalogue's
// entries as rows, each database folder once. It never touches the
// catalogue: the database pane gives it the rows the catalogue took. Its
// columns, each heading with the text of a row, are listed in one table;
// while the fleet store is on, a last column "Хранилище" shows each
// session's place there, kept by folder whether or not it has a row yet.
//
// Rows arrive by the thousand during a scan, so a row costs the same
// whatever the list's length, and no text is measured as it arrives: the
// columns are fitted to their texts a little later, a few milliseconds of
// measuring at a time, so the window keeps answering meanwhile.
// User-interface thread only.
#pragma once

#include "database/ldb_info.h"

#include <wx/listctrl.h>
#include <wx/timer.h>

#include <functional>
#include <string_view>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class database_list : public wxListCtrl {
  public:
    database_list(wxWindow* parent, wxWindowID id);

    // Replaces every row (a snapshot of the catalogue); the columns are then
    // fitted to the new rows alone, narrower ones included.
    void show(std::vector<ldb_entry> rows);
    // Appends the rows whose folders have none yet, redrawing the list once
    // for all of them; columns widen to fit them soon after. Returns those
    // appended.
    std::vector<ldb_entry> add_rows(std::vector<ldb_entry> rows);
    // Replaces the row with this path, if there is one.
    void update_row(const ldb_entry& row);
    void clear();

    // The column "Хранилище", hidden at first.
    void show_fleet_column(bool show);
    bool fleet_column_shown() const { return fleet_column_; }
    // The text of a folder's cell in that column ("" clears it).
    void set_fleet_text(const wxString& path, const wxString& text);
    wxString fleet_text(const wxString& path) const;

    // True once every row's texts have been measured and the columns fit them.
    bool columns_fitted() const { return measured_ == rows_.size(); }

    // True when the database folder at `path` has a row.
    bool has_row(const wxString& path) const { return paths_.count(path) != 0; }
    // Path of the first selected row; empty without rows or selection.
    wxString selected_path() const;
    long selected_row() const;
    const std::vector<ldb_entry>& rows() const { return rows_; }

    // Cell text of a row, as shown.
    static wxString cell_text(const ldb_entry& entry, long column);

  protected:
    wxString OnGetItemText(long item, long column) const override;

  private:
    // Widens the measured widths to fit the row's texts.
    void measure(const ldb_entry& row);
    int text_width(const wxString& text);
    // Measures rows for about `budget_ms`, applies the widths, and comes
    // back later for the rest.
    void fit_some(long budget_ms);
    void apply_widths();
    void on_fit_timer(wxTimerEvent&);

    struct path_hash {
        size_t operator()(const wxString& s) const {
            return std::hash<std::wstring_view>()(std::wstring_view(s.wx_str(), s.length()));
        }
    };

    std::vector<ldb_entry> rows_;
    std::unordered_set<wxString, path_hash> paths_;  // the rows' folders
    // Widths of texts measured so far, by shape (digits as '0'): every
    // digit is as wide as any other in the desktop's fonts, so thousands of
    // times and counts are a few measurements.
    std::unordered_map<std::wstring, int> shape_widths_;
    std::vector<int> widths_;           // text width each column has now
    std::vector<int> measured_widths_;  // widest heading or cell measured since show()
    size_t measured_ = 0;               // rows_ before this index are measured
    bool narrowing_ = false;  // since show(): the widths may also shrink, once all are measured
    wxTimer fit_timer_;
    bool fleet_column_ = false;
    std::unordered_map<wxString, wxString, path_hash> fleet_texts_;  // by folder
};
