#include "app/camera/live_coverage.h"

#include "app/database/coverage_strip.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

namespace {
constexpr int kStripHeight = 8;
}  // namespace

live_coverage::live_coverage(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL,
              "live_coverage") {
    strip_ = new coverage_strip(this, kStripHeight);
    text_ = new wxStaticText(this, wxID_ANY, text_of(coverage{}), wxDefaultPosition, wxDefaultSize,
                             wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(strip_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 2);
    column->Add(text_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 2);
    SetSizer(column);
}

void live_coverage::show(const coverage& c) {
    strip_->set_coverage(c);
    const wxString line = text_of(c);
    if (text_->GetLabel() != line) text_->SetLabel(line);
}

const coverage& live_coverage::shown() const {
    return strip_->shown();
}

wxString live_coverage::text() const {
    return text_->GetLabel();
}

wxString live_coverage::text_of(const coverage& c) {
    if (c.frames == 0) return L"Покрытие: нет записи";
    const wxString share = wxString::Format(L"Покрытие: %.1f%%", c.covered * 100.0);
    const auto largest = c.largest_gap();
    if (!largest) return share + L", пропусков нет";
    return share + wxString::Format(L", пропусков: %zu, наибольший: %u (%u–%u)", c.gaps.size(),
                                    largest->end - largest->start, largest->start, largest->end);
}
