#include "runtime/text_encoding.h"

std::string to_narrow(const wxString& text) {
    if (text.empty()) return {};
    const wxScopedCharBuffer local = text.mb_str(wxConvLibc);
    if (local.length() > 0) return std::string(local.data(), local.length());
    const wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
}

wxString from_narrow(const std::string& text) {
    if (text.empty()) return {};
    wxString local(text.data(), wxConvLibc, text.size());
    if (!local.empty()) return local;
    wxString utf8 = wxString::FromUTF8(text.data(), text.size());
    if (!utf8.empty()) return utf8;
    return wxString(text.data(), wxConvISO8859_1, text.size());
}
