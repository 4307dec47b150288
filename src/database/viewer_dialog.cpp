#include "database/viewer_dialog.h"

#include "database/ldb_format.h"

#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/sizer.h>

#include <fstream>
#include <stdexcept>

namespace {
enum { id_position = 20, id_save = 21 };
}

// clang-format off
wxBEGIN_EVENT_TABLE(viewer_dialog, wxDialog)
    EVT_SPINCTRLDOUBLE(id_position, viewer_dialog::on_position)
    EVT_BUTTON(id_save, viewer_dialog::on_save)
    EVT_BUTTON(wxID_OK, viewer_dialog::on_close)
wxEND_EVENT_TABLE()
    // clang-format on

    viewer_dialog::viewer_dialog(wxWindow* parent, const std::string& path)
    : wxDialog(parent, wxID_ANY, L"Просмотр базы", wxDefaultPosition,
               wxSize(int(wxGetDisplaySize().x * 0.7), int(wxGetDisplaySize().y * 0.7))) {
    reader_ = std::make_unique<ldb_reader>(path);
    const uint32_t start = reader_->read_dpp_start();
    last_value_ = reader_->read_dpp_end();

    panel_ = new VImagePanel(this, wxID_ANY);
    position_ = new wxSpinCtrlDouble(this, id_position, wxEmptyString, wxDefaultPosition,
                                     wxDefaultSize, wxSP_ARROW_KEYS, start, last_value_, start, 5);
    position_->SetDigits(0);
    auto* save = new wxButton(this, id_save, L"Сохранить кадр", wxDefaultPosition, wxDefaultSize,
                              wxBORDER_NONE);
    auto* close =
        new wxButton(this, wxID_OK, L"Закрыть", wxDefaultPosition, wxDefaultSize, wxBORDER_NONE);
    auto* side = new wxBoxSizer(wxVERTICAL);
    side->Add(position_, 0, wxALL, 5);
    side->Add(save, 0, wxEXPAND | wxALL, 5);
    side->Add(close, 0, wxEXPAND | wxALL, 5);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(panel_, 1, wxEXPAND);
    row->Add(side, 0);
    SetSizer(row);

    reader_->seek_frame(start);
    reader_->decode_current(current_);
    show_current();
    Layout();
    Centre(wxBOTH);
}

void viewer_dialog::show_current() {
    if (current_.empty() || current_.type() != CV_8UC3) {
        panel_->set_image(wxImage());
        return;
    }
    // Frames are grey, so the order of the three bytes does not show.
    const wxImage image(current_.cols, current_.rows, current_.data, true);
    panel_->set_image(image);
}

void viewer_dialog::show_position(double value) {
    reader_->seek_frame(static_cast<uint32_t>(value));
    reader_->decode_current(current_);
    show_current();
}

void viewer_dialog::on_position(wxSpinDoubleEvent& event) {
    show_position(event.GetValue());
}

wxString viewer_dialog::save_current_frame(const wxString& chosen) {
    const auto [key, value] = reader_->frame_bytes();
    if (key.empty()) throw std::runtime_error("No frame to save");
    wxFileName target(chosen);
    target.SetName(key);
    const wxString path = target.GetFullPath();
    std::ofstream out(path.fn_str(), std::ios::binary | std::ios::trunc);
    out.write(value.data(), static_cast<std::streamsize>(value.size()));
    out.close();
    if (!out) throw std::runtime_error(("Cannot write " + path).ToStdString());
    // Beyond the last frame lie the metadata entries: stay on the last one.
    if (key < frame_key(last_value_)) reader_->step_forward();
    return path;
}

void viewer_dialog::on_save(wxCommandEvent&) {
    const auto [key, value] = reader_->frame_bytes();
    wxFileDialog dialog(this, L"Сохранить файл", wxEmptyString, wxString(key) + ".png",
                        L"Файлы png (*.png)|*.png", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() == wxID_OK) save_current_frame(dialog.GetPath());
}

void viewer_dialog::on_close(wxCommandEvent&) {
    EndModal(wxID_OK);
}
