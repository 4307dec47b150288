// The running session's coverage under the live view: a thin strip (recorded
// spans green, gaps red) and one line with the gap count, the largest gap and
// the covered share. Shows the last session recorded until the next one
// begins. User-interface thread only.
#pragma once

#include "database/coverage.h"

#include <wx/panel.h>

class coverage_strip;
class wxStaticText;

class live_coverage : public wxPanel {
  public:
    // Named "live_coverage", so it can be found under its window.
    explicit live_coverage(wxWindow* parent);

    void show(const coverage& c);
    const coverage& shown() const;
    wxString text() const;

    // "Покрытие: 99.5%, пропусков: 2, наибольший: 120 (1500–1620)", or
    // "Покрытие: 100.0%, пропусков нет"; before any frame, "Покрытие: нет
    // записи".
    static wxString text_of(const coverage& c);

  private:
    coverage_strip* strip_ = nullptr;
    wxStaticText* text_ = nullptr;
};
