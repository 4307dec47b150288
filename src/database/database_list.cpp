#include "database/database_list.h"

#include "runtime/text_encoding.h"

#include <wx/filename.h>
#include <wx/intl.h>
#include <wx/time.h>

#include <algorithm>

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

const wchar_t* const kHeadings[] = {
    L"Код сеанса", L"Борт",          L"Время начала", L"Время окончания",
    L"ДПП начала", L"ДПП окончания", L"Размер",       L"Число записей",
};

wxString dpp_text(uint32_t value) {
    return value == 4294967295u ? wxString("-") : wxString::Format("%u", value);
}

}  // namespace

database_list::database_list(wxWindow* parent, wxWindowID id)
    : wxListCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                 wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL) {
    for (const wchar_t* heading : kHeadings) {
        AppendColumn(heading);
        widths_.push_back(0);
    }
    fit_timer_.SetOwner(this);
    Bind(wxEVT_TIMER, &database_list::on_fit_timer, this);
    show({});
}

wxString database_list::cell_text(const ldb_entry& entry, long column) {
    const ldb_info& info = entry.info;
    switch (column) {
        case 0:
            return from_narrow(info.session);
        case 1:
            return from_narrow(info.side);
        case 2:
            return from_narrow(info.time_start);
        case 3:
            return from_narrow(info.time_end);
        case 4:
            return dpp_text(info.dpp_start);
        case 5:
            return dpp_text(info.dpp_end);
        case 6:
            return wxFileName::GetHumanReadableSize(wxULongLong(info.size),
                                                    wxGetTranslation("Not available"), 1,
                                                    wxSIZE_CONV_TRADITIONAL);
        case 7:
            return wxString::Format("%zu", static_cast<size_t>(info.count));
        default:
            return wxEmptyString;
    }
}

wxString database_list::OnGetItemText(long item, long column) const {
    if (item < 0 || static_cast<size_t>(item) >= rows_.size()) return wxEmptyString;
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
    for (const wchar_t* heading : kHeadings)
        measured_widths_.push_back(GetTextExtent(heading).GetWidth());
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

bool database_list::add_row(const ldb_entry& row) {
    return !add_rows({row}).empty();
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
