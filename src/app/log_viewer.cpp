#include "app/log_viewer.h"

#include "runtime/journal.h"
#include "runtime/text_encoding.h"

#include <wx/dcclient.h>
#include <wx/html/htmlcell.h>

namespace {

// Lines of the file's frame; the page has a frame of its own.
bool frame_line(const wxString& line) {
    return line == "<html>" || line == "<table>" || line == "<tbody>";
}

// Whether `cell` lies within `piece` (the piece itself included).
bool inside(const wxHtmlCell* cell, const wxHtmlCell* piece) {
    for (; cell; cell = cell->GetParent()) {
        if (cell == piece) return true;
    }
    return false;
}

}  // namespace

log_viewer::log_viewer(wxWindow* parent, const wxString& file_name)
    : wxHtmlWindow(parent, 1, wxDefaultPosition, wxDefaultSize, wxHW_SCROLLBAR_AUTO, "htmlWindow"),
      row_parser_(this),
      batch_timer_(this) {
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { show_waiting_rows(); });
    cout_ = std::make_unique<ui_redirector_cout>(this);
    cerr_ = std::make_unique<ui_redirector_cerr>(this);
    file_.open(to_narrow(file_name), std::ios::out | std::ios::trunc | std::ios::binary);
    std::wcout.clear();
    std::wcout << L"<html>" << std::endl << L"<table>" << std::endl << L"<tbody>" << std::endl;
}

log_viewer::~log_viewer() {
    batch_timer_.Stop();
    file_.close();
    cerr_.reset();
    cout_.reset();
}

void log_viewer::put(wchar_t c) {
    if (file_.is_open()) file_ << journal_file_bytes(c);
    if (c != L'\n') {
        line_ += c;
        return;
    }
    end_line();
    line_.clear();
    // On disk a row is whole or not there yet; nothing waits behind a row.
    if (!in_row_ && file_.is_open()) file_.flush();
}

void log_viewer::end_line() {
    if (in_row_) {
        row_ << line_ << '\n';
        if (line_ == "</tr>") {
            in_row_ = false;
            row_complete("<table>" + row_ + "</table>");
            row_.clear();
        }
    } else if (line_ == "<tr>") {
        in_row_ = true;
        row_ = line_ + '\n';
    } else if (!frame_line(line_)) {
        row_complete(line_);  // text written outside the rows' form
    }
}

void log_viewer::row_complete(const wxString& html) {
    waiting_.push_back(html);
    // Rows beyond what the page keeps would scroll out at once.
    while (waiting_.size() > kShownRows)
        waiting_.pop_front();
    if (!batch_timer_.IsRunning()) batch_timer_.StartOnce(kBatchDelayMs);
}

void log_viewer::show_waiting_rows() {
    if (waiting_.empty()) return;
    wxClientDC dc(this);
    dc.SetMapMode(wxMM_TEXT);
    row_parser_.SetDC(&dc);
    wxHtmlContainerCell* page = GetInternalRepresentation();
    for (size_t n = 0; n < kRowsPerBatch && !waiting_.empty(); ++n) {
        auto* piece = static_cast<wxHtmlContainerCell*>(row_parser_.Parse(waiting_.front()));
        waiting_.pop_front();
        page->InsertCell(piece);
        shown_.push_back(piece);
    }
    row_parser_.SetDC(nullptr);
    drop_oldest();
    CreateLayout();
    Scroll(0, GetScrollRange(wxVERTICAL));
    Refresh();
    // The rest follow in a later turn of the loop, after the operator's input.
    if (!waiting_.empty()) batch_timer_.StartOnce(1);
}

void log_viewer::drop_oldest() {
    // While the operator drags out a selection, its start may lie in any
    // piece: the page may hold more than its rows until the drag ends.
    if (m_makingSelection) return;
    wxHtmlContainerCell* page = GetInternalRepresentation();
    while (shown_.size() > kShownRows) {
        wxHtmlCell* oldest = shown_.front();
        shown_.pop_front();
        if (m_selection && (inside(m_selection->GetFromCell(), oldest) ||
                            inside(m_selection->GetToCell(), oldest))) {
            wxDELETE(m_selection);
        }
        page->Detach(oldest);
        delete oldest;
    }
}
