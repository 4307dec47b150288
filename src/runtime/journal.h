// The journal: time-stamped rows of an HTML table, shown live in the journal
// window and stored in one HTML file per run.
//
// Rows are written to the standard wide output stream (information) and the
// standard wide error stream (errors); while the journal window exists those
// streams pass every character on to the window and the file. Only the
// user-interface thread writes rows: workers post evt_log_info/evt_log_error.
#pragma once

#include <wx/string.h>

#include <cstdint>
#include <ctime>
#include <string>

// The four lines of one row, each ended by a line end. The text is inserted
// unchanged (markup is not escaped).
std::wstring journal_row(const std::tm& local_time, const std::wstring& text, bool error);

// One row with the current local time, to std::wcout (blue) or std::wcerr (red).
void log_info(const wxString& text);
void log_error(const wxString& text);
// An exception's narrow text, in the system's multibyte encoding.
void log_error(const std::string& text);

// "undercam[<time><pid>].html": the start time and the process id run together.
wxString journal_file_name(uint32_t start_time, unsigned long pid);

// Deletes every file directly in the folder that matches "undercam[*].html"
// and was last modified more than 7 days before `now`. Hidden files and
// sub-folders are never touched; deletion failures are ignored. Returns the
// number of files deleted.
int cleanup_old_journals(const wxString& folder, std::time_t now);

constexpr std::time_t kJournalMaxAge = 604800;

// Bytes that stand for one character in the journal file: its multibyte form
// in the current C locale, or an HTML character reference ("&#1041;") when
// the locale cannot represent it, so the file stays readable in a browser.
std::string journal_file_bytes(wchar_t c);
