// Narrow texts (stored in databases, sent on the wire, exception texts) are in
// the system's multibyte encoding. The plain C locale cannot represent
// Cyrillic; there these helpers use UTF-8 instead of losing the text, and
// from_narrow() reads back either form.
#pragma once

#include <wx/string.h>

#include <string>

std::string to_narrow(const wxString& text);
wxString from_narrow(const std::string& text);
