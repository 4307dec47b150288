// The journal window (window id 1): shows every journal row and stores it in
// the run's journal file as it is written. While it exists, std::wcout and
// std::wcerr write through it; its destruction closes the file and gives the
// streams back. User-interface thread only.
#pragma once

#include "app/ui_redirector.h"

#include <wx/html/htmlwin.h>

#include <fstream>
#include <memory>
#include <string>

class log_viewer : public wxHtmlWindow {
  public:
    // Opens (truncating) the journal file and writes "<html>", "<table>",
    // "<tbody>". A file that cannot be opened leaves the window working alone.
    log_viewer(wxWindow* parent, const wxString& file_name);
    ~log_viewer() override;

    // One character from a redirected stream: to the file at once (flushed),
    // to the page at each line end, so the page is laid out once per line.
    void put(wchar_t c);

  private:
    std::unique_ptr<ui_redirector_cout> cout_;
    std::unique_ptr<ui_redirector_cerr> cerr_;
    std::ofstream file_;
    wxString pending_;  // characters of the line not yet on the page
};
