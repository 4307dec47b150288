// The journal window (window id 1): shows the journal's last rows and stores
// every row in the run's journal file as it is written. While it exists,
// std::wcout and std::wcerr write through it; its destruction closes the file
// and gives the streams back. User-interface thread only.
//
// Its cost per row does not grow with the journal, however long the run:
// - the file takes every character as it comes and is flushed once per row
//   (and per line outside a row), not per character;
// - the window keeps the last kShownRows rows, each parsed once into a piece
//   of the page of its own; the oldest piece goes when a new one comes, and
//   nothing is parsed again;
// - rows reach the page in batches: the first kBatchDelayMs after a row
//   comes, at most kRowsPerBatch rows to a batch, the rest in later turns of
//   the event loop; so a flood of rows costs a few page updates a second,
//   never holds the window up for long, and rows that would scroll out at
//   once are never parsed.
// A text with broken markup can only spoil its own row.
#pragma once

#include "app/ui_redirector.h"

#include <wx/html/htmlwin.h>
#include <wx/html/winpars.h>
#include <wx/timer.h>

#include <cstddef>
#include <deque>
#include <fstream>
#include <memory>
#include <string>

class log_viewer : public wxHtmlWindow {
  public:
    static constexpr size_t kShownRows = 2000;
    static constexpr size_t kRowsPerBatch = 50;
    static constexpr int kBatchDelayMs = 100;

    // Opens (truncating) the journal file and writes "<html>", "<table>",
    // "<tbody>". A file that cannot be opened leaves the window working alone.
    log_viewer(wxWindow* parent, const wxString& file_name);
    ~log_viewer() override;

    // One character from a redirected stream.
    void put(wchar_t c);

    // Rows on the page, and rows written but not yet on it.
    size_t shown_rows() const { return shown_.size(); }
    size_t waiting_rows() const { return waiting_.size(); }

  private:
    // A whole line has come: it goes on into a row, or is one of its own.
    void end_line();
    void row_complete(const wxString& html);
    // Puts up to kRowsPerBatch waiting rows on the page.
    void show_waiting_rows();
    // Removes the oldest pieces beyond kShownRows.
    void drop_oldest();

    std::unique_ptr<ui_redirector_cout> cout_;
    std::unique_ptr<ui_redirector_cerr> cerr_;
    std::ofstream file_;
    wxHtmlWinParser row_parser_;  // the window's own parser keeps the empty page
    wxString line_;               // characters of the line being written
    wxString row_;                // lines of the row being written, from "<tr>"
    bool in_row_ = false;
    std::deque<wxString> waiting_;   // complete rows not yet on the page
    std::deque<wxHtmlCell*> shown_;  // the page's pieces, oldest first (owned by the page)
    wxTimer batch_timer_;            // runs while the next batch waits for its turn
};
