// A session's coverage for people to keep: a text table of its gaps (the
// client tool prints it) and a self-contained HTML report with the session's
// description, a drawn strip and the same table (the window writes it).
// Plain functions of their arguments, any thread; texts are UTF-8.
#pragma once

#include "database/coverage.h"
#include "database/ldb_info.h"

#include <string>

// The summary line, then one line per gap: its number, the keys on either
// side, its length in counts and the frames missing there. Ends with a
// newline.
std::string coverage_table(const coverage& c);

// The report of the database at `path` described by `info`: a whole HTML
// page (metadata, the strip as inline SVG, the table of gaps). Every text
// from the database is escaped.
std::string coverage_report_html(const coverage& c, const ldb_info& info, const std::string& path);
