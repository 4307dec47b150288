#include "runtime/journal.h"

#include "runtime/text_encoding.h"

#include <wx/dir.h>
#include <wx/filefn.h>
#include <wx/filename.h>

#include <climits>
#include <cwchar>
#include <iostream>

std::wstring journal_row(const std::tm& local_time, const std::wstring& text, bool error) {
    wchar_t stamp[64];
    std::wcsftime(stamp, 64, L"%d.%m.%Y %H:%M:%S", &local_time);
    std::wstring row = L"<tr>\n<td>";
    row += stamp;
    row += L"</td>\n";
    row += error ? L"<td> <font color='red'>" : L"<td> <font color='blue'>";
    row += text;
    row += L"</font></td>\n</tr>\n";
    return row;
}

namespace {

void write_row(std::wostream& stream, const std::wstring& text, bool error) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // A stream that once failed to convert a character stays failed until
    // cleared; no row may be lost to an earlier one.
    stream.clear();
    const std::wstring row = journal_row(local, text, error);
    size_t begin = 0;
    while (begin < row.size()) {
        const size_t end = row.find(L'\n', begin);
        stream << row.substr(begin, end - begin) << std::endl;
        begin = end + 1;
    }
}

}  // namespace

void log_info(const wxString& text) {
    write_row(std::wcout, text.ToStdWstring(), false);
}

void log_error(const wxString& text) {
    write_row(std::wcerr, text.ToStdWstring(), true);
}

void log_error(const std::string& text) {
    log_error(from_narrow(text));
}

wxString journal_file_name(uint32_t start_time, unsigned long pid) {
    return wxString::Format("undercam[%u%lu].html", start_time, pid);
}

int cleanup_old_journals(const wxString& folder, std::time_t now) {
    wxDir dir(folder);
    if (!dir.IsOpened()) return 0;
    wxArrayString names;
    wxString name;
    for (bool more = dir.GetFirst(&name, "undercam[*].html", wxDIR_FILES); more;
         more = dir.GetNext(&name)) {
        names.push_back(name);
    }
    int deleted = 0;
    for (const auto& file : names) {
        const wxString path = wxFileName(folder, file).GetFullPath();
        const std::time_t modified = wxFileModificationTime(path);
        if (modified != -1 && now - modified > kJournalMaxAge && wxRemoveFile(path)) {
            ++deleted;
        }
    }
    return deleted;
}

std::string journal_file_bytes(wchar_t c) {
    char bytes[MB_LEN_MAX];
    std::mbstate_t state{};
    const size_t n = std::wcrtomb(bytes, c, &state);
    if (n != static_cast<size_t>(-1)) return std::string(bytes, n);
    return "&#" + std::to_string(static_cast<unsigned long>(c)) + ";";
}
