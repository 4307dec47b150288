// Browses the frames of one recorded database by odometer count, with the
// image panel's ruler, and saves frames as their stored JPEG bytes.
// Modal, user-interface thread; its reader holds the database while open.
#pragma once

#include "database/ldb_reader.h"
#include "database/VImagePanel.h"

#include <opencv2/core.hpp>
#include <wx/dialog.h>
#include <wx/spinctrl.h>

#include <memory>
#include <string>

class viewer_dialog : public wxDialog {
  public:
    // Throws the store's status text when the database cannot be read.
    viewer_dialog(wxWindow* parent, const std::string& path);

    VImagePanel* panel() const { return panel_; }
    wxSpinCtrlDouble* position() const { return position_; }
    const cv::Mat& current_image() const { return current_; }

    // Shows the frame at or after `value`, as the position control does.
    void show_position(double value);
    // Writes the current frame's stored bytes to `chosen` with the frame key
    // as base name (folder and extension kept), then steps to the next frame
    // so that a second save writes the following one. Returns the path written.
    wxString save_current_frame(const wxString& chosen);

  private:
    void show_current();
    void on_position(wxSpinDoubleEvent& event);
    void on_save(wxCommandEvent& event);
    void on_close(wxCommandEvent& event);

    VImagePanel* panel_ = nullptr;
    wxSpinCtrlDouble* position_ = nullptr;
    std::unique_ptr<ldb_reader> reader_;
    cv::Mat current_;
    uint32_t last_value_ = 0;

    wxDECLARE_EVENT_TABLE();
};
