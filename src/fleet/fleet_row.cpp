#include "fleet/fleet_row.h"

wxString fleet_row_text(const fleet_row& row) {
    switch (row.state) {
        case fleet_row::queued:
            return L"в очереди";
        case fleet_row::uploading:
            return wxString::Format(L"выгрузка %d%%", row.percent);
        case fleet_row::stored:
            return L"в хранилище";
        case fleet_row::failed:
            return L"ошибка";
        case fleet_row::none:
            break;
    }
    return {};
}
