#include "database/database_list.h"

#include "database/catalogue.h"
#include "runtime/text_encoding.h"

#include <wx/filename.h>
#include <wx/intl.h>

#include <mutex>

namespace {

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
    std::shared_lock lock(catalogue::lock());
    refresh(catalogue::entries());
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

void database_list::refresh(const std::vector<ldb_entry>& entries) {
    rows_ = entries;
    SetItemCount(static_cast<long>(rows_.size()));
    // Virtual lists cannot measure their rows, so widths come from the texts.
    const int margin = 24;
    for (int column = 0; column < GetColumnCount(); ++column) {
        int width = GetTextExtent(kHeadings[column]).GetWidth();
        for (const auto& row : rows_) {
            width = std::max(width, GetTextExtent(cell_text(row, column)).GetWidth());
        }
        SetColumnWidth(column, width + margin);
    }
    Refresh();
}

void database_list::append_entry(const wxThreadEvent& event) {
    ldb_entry entry{event.GetPayload<ldb_info>(), event.GetString()};
    std::unique_lock lock(catalogue::lock());
    catalogue::entries().push_back(std::move(entry));
    refresh(catalogue::entries());
}

void database_list::clear() {
    std::unique_lock lock(catalogue::lock());
    catalogue::entries().clear();
    refresh(catalogue::entries());
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
