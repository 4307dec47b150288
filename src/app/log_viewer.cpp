#include "app/log_viewer.h"

#include "runtime/journal.h"
#include "runtime/text_encoding.h"

log_viewer::log_viewer(wxWindow* parent, const wxString& file_name)
    : wxHtmlWindow(parent, 1, wxDefaultPosition, wxDefaultSize, wxHW_SCROLLBAR_AUTO, "htmlWindow") {
    cout_ = std::make_unique<ui_redirector_cout>(this);
    cerr_ = std::make_unique<ui_redirector_cerr>(this);
    file_.open(to_narrow(file_name), std::ios::out | std::ios::trunc | std::ios::binary);
    std::wcout.clear();
    std::wcout << L"<html>" << std::endl << L"<table>" << std::endl << L"<tbody>" << std::endl;
}

log_viewer::~log_viewer() {
    file_.close();
    cerr_.reset();
    cout_.reset();
}

void log_viewer::put(wchar_t c) {
    if (file_.is_open()) {
        file_ << journal_file_bytes(c);
        file_.flush();
    }
    pending_ += c;
    if (c == L'\n') {
        AppendToPage(pending_);
        pending_.clear();
        Scroll(0, GetScrollRange(wxVERTICAL));
    }
}
