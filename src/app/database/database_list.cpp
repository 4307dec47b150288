#include "app/database/database_list.h"

#include "runtime/text_encoding.h"

#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/time.h>

#include <algorithm>
#include <iterator>

namespace {

// Virtual lists cannot measure their rows, so widths come from the texts,
// with this much room around them.
constexpr int kColumnMargin = 14;
// Rows that arrive together are measured together, a little after the
// first; measuring goes on in slices of a few milliseconds with pauses for
// the window's other work.
constexpr int kFitDelayMs = 50;
constexpr long kFitBudgetMs = 8;
constexpr int kFitPauseMs = 15;
// Text shapes remembered with their widths (session codes are free text).
constexpr size_t kMostShapes = 20000;

wxString dpp_text(uint32_t value) {
    return value == 4294967295u ? wxString("-") : wxString::Format("%u", value);
}

// The list's columns, in order: each heading with the text of a row.
struct column {
    const wchar_t* heading;
    wxString (*text)(const ldb_entry& row);
};

const column kColumns[] = {
    {L"Код сеанса", [](const ldb_entry& r) { return from_narrow(r.info.session); }},
    {L"Борт", [](const ldb_entry& r) { return from_narrow(r.info.side); }},
    {L"Время начала", [](const ldb_entry& r) { return from_narrow(r.info.time_start); }},
    {L"Время окончания", [](const ldb_entry& r) { return from_narrow(r.info.time_end); }},
    {L"ДПП начала", [](const ldb_entry& r) { return dpp_text(r.info.dpp_start); }},
    {L"ДПП окончания", [](const ldb_entry& r) { return dpp_text(r.info.dpp_end); }},
    {L"Размер",
     [](const ldb_entry& r) {
         return wxFileName::GetHumanReadableSize(wxULongLong(r.info.size),
                                                 wxGetTranslation("Not available"), 1,
                                                 wxSIZE_CONV_TRADITIONAL);
     }},
    {L"Число записей",
     [](const ldb_entry& r) { return wxString::Format("%zu", static_cast<size_t>(r.info.count)); }},
};
constexpr long kColumnCount = long(std::size(kColumns));
const wchar_t* const kFleetHeading = L"Хранилище";

}  // namespace

database_list::database_list(wxWindow* parent, wxWindowID id)
    : wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL) {
    for (const column& c : kColumns) {
        AppendColumn(c.heading);
        widths_.push_back(0);
    }
    fit_timer_.SetOwner(this);
    Bind(wxEVT_TIMER, &database_list::on_fit_timer, this);
    show({});
}

wxString database_list::cell_text(const ldb_entry& entry, long column) {
    return column >= 0 && column < kColumnCount ? kColumns[column].text(entry) : wxString();
}

wxString database_list::OnGetItemText(long item, long column) const {
    if (item < 0 || static_cast<size_t>(item) >= rows_.size()) return wxEmptyString;
    if (column == kColumnCount) return fleet_text(rows_[item].path);
    return cell_text(rows_[item], column);
}

int database_list::text_width(const wxString& text) {
    std::wstring shape = text.ToStdWstring();
    for (wchar_t& c : shape) {
        if (c >= L'0' && c <= L'9') c = L'0';
    }
    const auto known = shape_widths_.find(shape);
    if (known != shape_widths_.end()) return known->second;
    if (shape_widths_.size() >= kMostShapes) shape_widths_.clear();
    const int width = GetTextExtent(text).GetWidth();
    shape_widths_.emplace(std::move(shape), width);
    return width;
}

void database_list::measure(const ldb_entry& row) {
    for (size_t column = 0; column < measured_widths_.size(); ++column) {
        const int width = text_width(cell_text(row, long(column)));
        measured_widths_[column] = std::max(measured_widths_[column], width);
    }
}

void database_list::fit_some(long budget_ms) {
    const wxLongLong end = wxGetLocalTimeMillis() + budget_ms;
    while (measured_ < rows_.size()) {
        measure(rows_[measured_++]);
        if (wxGetLocalTimeMillis() >= end) break;
    }
    apply_widths();
    if (measured_ < rows_.size()) fit_timer_.StartOnce(kFitPauseMs);
}

void database_list::apply_widths() {
    // Until every row is measured, columns only widen: they never jump back
    // and forth while a new set of rows is measured.
    const bool all = measured_ == rows_.size();
    for (size_t column = 0; column < widths_.size(); ++column) {
        const int width = narrowing_ && all ? measured_widths_[column]
                                            : std::max(widths_[column], measured_widths_[column]);
        if (width == widths_[column]) continue;
        widths_[column] = width;
        SetColumnWidth(int(column), width + kColumnMargin);
    }
    if (all) narrowing_ = false;
}

void database_list::on_fit_timer(wxTimerEvent&) {
    fit_some(kFitBudgetMs);
}

void database_list::show(std::vector<ldb_entry> rows) {
    rows_ = std::move(rows);
    paths_.clear();
    for (const auto& row : rows_)
        paths_.insert(row.path);
    measured_widths_.clear();
    for (const column& c : kColumns)
        measured_widths_.push_back(GetTextExtent(c.heading).GetWidth());
    measured_ = 0;
    narrowing_ = true;
    SetItemCount(static_cast<long>(rows_.size()));
    Refresh();
    if (rows_.empty()) {
        apply_widths();
    } else if (!fit_timer_.IsRunning()) {
        fit_timer_.StartOnce(kFitDelayMs);
    }
}

std::vector<ldb_entry> database_list::add_rows(std::vector<ldb_entry> rows) {
    const size_t first = rows_.size();
    rows.erase(
        std::remove_if(rows.begin(), rows.end(),
                       [&](const ldb_entry& row) { return !paths_.insert(row.path).second; }),
        rows.end());
    if (rows.empty()) return rows;
    rows_.insert(rows_.end(), rows.begin(), rows.end());
    // The list redraws itself once it knows its new length.
    SetItemCount(static_cast<long>(rows_.size()));
    RefreshItems(static_cast<long>(first), static_cast<long>(rows_.size()) - 1);
    if (!fit_timer_.IsRunning()) fit_timer_.StartOnce(kFitDelayMs);
    return rows;
}

void database_list::update_row(const ldb_entry& row) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].path != row.path) continue;
        rows_[i] = row;
        if (i < measured_) {
            measure(row);
            apply_widths();
        }
        RefreshItem(long(i));
        return;
    }
}

void database_list::clear() {
    show({});
}

long database_list::selected_row() const {
    return GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED);
}

wxString database_list::selected_path() const {
    if (rows_.empty()) return wxEmptyString;
    const long row = selected_row();
    if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return wxEmptyString;
    return rows_[row].path;
}

void database_list::show_fleet_column(bool show) {
    if (show == fleet_column_) return;
    fleet_column_ = show;
    if (show) {
        // As wide as its longest text, "выгрузка 100%", from the start.
        AppendColumn(kFleetHeading);
        const int width = std::max(GetTextExtent(kFleetHeading).GetWidth(),
                                   GetTextExtent(L"выгрузка 100%").GetWidth());
        SetColumnWidth(int(kColumnCount), width + kColumnMargin);
    } else {
        DeleteColumn(int(kColumnCount));
    }
    Refresh();
}

void database_list::set_fleet_text(const wxString& path, const wxString& text) {
    if (text.empty()) {
        fleet_texts_.erase(path);
    } else {
        fleet_texts_[path] = text;
    }
    if (!fleet_column_ || !has_row(path)) return;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].path == path) RefreshItem(long(i));
    }
}

wxString database_list::fleet_text(const wxString& path) const {
    const auto it = fleet_texts_.find(path);
    return it == fleet_texts_.end() ? wxString() : it->second;
}
