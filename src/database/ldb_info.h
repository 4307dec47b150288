// Description of one session database, and the catalogue's element.
// Texts are narrow, exactly as stored in the database (the system's
// multibyte encoding); they are widened only for display.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <string>

struct ldb_info {
    std::string session;
    std::string orientation;
    std::string side;
    std::string time_start;  // local "YYYY-MM-DD HH:MM:SS", empty when unknown
    std::string time_end;
    uint32_t dpp_start = 0;
    uint32_t dpp_end = 0;
    std::string version;
    uint64_t size = 0;  // approximate bytes of the frame range
    uint64_t count = 0;
};

struct ldb_entry {
    ldb_info info;
    wxString path;  // full path of the database folder
};
