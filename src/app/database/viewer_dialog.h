// Browses the frames of one recorded database by odometer count, with the
// image panel's ruler, and saves frames as their stored JPEG bytes. A strip
// along the bottom shows the session's coverage by distance: a click on it
// goes to the nearest frame, and "Предыдущий пропуск" / "Следующий пропуск"
// (Ctrl+Left / Ctrl+Right) go to the frame before the previous or next gap.
// Failures of its buttons are red journal rows. Modal, user-interface
// thread; its reader holds the database while open.
#pragma once

#include "app/database/coverage_strip.h"
#include "database/ldb_reader.h"
#include "app/database/VImagePanel.h"

#include <opencv2/core.hpp>
#include <wx/dialog.h>
#include <wx/spinctrl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class wxStaticText;

class viewer_dialog : public wxDialog {
  public:
    // Throws the store's status text when the database cannot be read.
    viewer_dialog(wxWindow* parent, const std::string& path);

    VImagePanel* panel() const { return panel_; }
    coverage_strip* strip() const { return strip_; }
    // The gaps' count and the covered share, as shown under the strip.
    wxString summary() const;
    wxSpinCtrlDouble* position() const { return position_; }
    const cv::Mat& current_image() const { return current_; }

    // Shows the frame at or after `value`, as the position control does.
    void show_position(double value);
    // Writes the current frame's stored bytes to `chosen` with the frame key
    // as base name (folder and extension kept), then steps to the next frame
    // so that a second save writes the following one. Returns the path written.
    wxString save_current_frame(const wxString& chosen);
    // Shows the last frame before the next (or previous) gap; false when
    // there is none that way.
    bool jump_to_gap(bool forward);
    // The frame closest to an odometer position (the strip's click).
    uint32_t nearest_frame(uint32_t value) const;
    // The odometer value of the frame shown; nothing past the last.
    std::optional<uint32_t> current_frame() const;

  private:
    void show_current();
    void on_position(wxSpinDoubleEvent& event);
    void on_save(wxCommandEvent& event);
    void on_close(wxCommandEvent& event);
    void on_gap(wxCommandEvent& event);
    void go_to(uint32_t value);

    VImagePanel* panel_ = nullptr;
    wxSpinCtrlDouble* position_ = nullptr;
    std::unique_ptr<ldb_reader> reader_;
    cv::Mat current_;
    std::vector<uint32_t> keys_;  // every frame's odometer value, in order
    coverage_strip* strip_ = nullptr;
    wxStaticText* summary_ = nullptr;
    uint32_t last_value_ = 0;

    wxDECLARE_EVENT_TABLE();
};
