// What the database list shows of a session in the fleet store, carried by
// evt_fleet_state (the state as its int, the percent as its extra long),
// and its text in the column "Хранилище".
#pragma once

#include <wx/string.h>

struct fleet_row {
    enum state_kind { none, queued, uploading, stored, failed };
    state_kind state = none;
    int percent = 0;  // of an upload in progress
};

// "", "в очереди", "выгрузка 37%", "в хранилище", "ошибка".
wxString fleet_row_text(const fleet_row& row);
