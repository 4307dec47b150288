#include "database/database_list.h"

#include "runtime/text_encoding.h"

#include <wx/filename.h>
#include <wx/intl.h>

namespace {

// Virtual lists cannot measure their rows, so widths come from the texts,
// with this much room around them.
constexpr int kColumnMargin = 24;

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
    }
    reset_columns();
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

void database_list::reset_columns() {
    widths_.clear();
    for (const wchar_t* heading : kHeadings) {
        widths_.push_back(GetTextExtent(heading).GetWidth());
        SetColumnWidth(int(widths_.size() - 1), widths_.back() + kColumnMargin);
    }
}

void database_list::fit_columns(const ldb_entry& row) {
    for (size_t column = 0; column < widths_.size(); ++column) {
        const int width = GetTextExtent(cell_text(row, long(column))).GetWidth();
        if (width <= widths_[column]) continue;
        widths_[column] = width;
        SetColumnWidth(int(column), width + kColumnMargin);
    }
}

void database_list::show(std::vector<ldb_entry> rows) {
    rows_ = std::move(rows);
    reset_columns();
    for (const auto& row : rows_)
        fit_columns(row);
    SetItemCount(static_cast<long>(rows_.size()));
    Refresh();
}

void database_list::add_row(const ldb_entry& row) {
    rows_.push_back(row);
    fit_columns(row);
    SetItemCount(static_cast<long>(rows_.size()));
    RefreshItem(static_cast<long>(rows_.size()) - 1);
}

void database_list::update_row(const ldb_entry& row) {
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].path != row.path) continue;
        rows_[i] = row;
        fit_columns(row);
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
