#include "app/database/viewer_dialog.h"

#include "app/command_boundary.h"
#include "database/ldb_format.h"

#include <wx/accel.h>
#include <wx/button.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace {
enum { id_position = 20, id_save = 21, id_previous_gap = 22, id_next_gap = 23 };
constexpr int kStripHeight = 18;

wxString coverage_text(const coverage& c) {
    return wxString::Format(L"Пропусков: %zu, покрыто: %.1f%% (кадров: %llu, шаг: %u)",
                            c.gaps.size(), c.covered * 100.0,
                            static_cast<unsigned long long>(c.frames), c.step);
}

}  // namespace

wxBEGIN_EVENT_TABLE(viewer_dialog, wxDialog)
    EVT_SPINCTRLDOUBLE(id_position, viewer_dialog::on_position)
    EVT_BUTTON(id_save, viewer_dialog::on_save)
    EVT_BUTTON(wxID_OK, viewer_dialog::on_close)
    EVT_BUTTON(id_previous_gap, viewer_dialog::on_gap)
    EVT_BUTTON(id_next_gap, viewer_dialog::on_gap)
wxEND_EVENT_TABLE()

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
    auto* previous = new wxButton(this, id_previous_gap, L"Предыдущий пропуск", wxDefaultPosition,
                                  wxDefaultSize, wxBORDER_NONE);
    auto* next = new wxButton(this, id_next_gap, L"Следующий пропуск", wxDefaultPosition,
                              wxDefaultSize, wxBORDER_NONE);
    auto* side = new wxBoxSizer(wxVERTICAL);
    side->Add(position_, 0, wxALL, 5);
    side->Add(save, 0, wxEXPAND | wxALL, 5);
    side->Add(close, 0, wxEXPAND | wxALL, 5);
    side->Add(previous, 0, wxEXPAND | wxALL, 5);
    side->Add(next, 0, wxEXPAND | wxALL, 5);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(panel_, 1, wxEXPAND);
    row->Add(side, 0);

    // The whole session along the bottom: where it recorded, where it missed.
    keys_ = reader_->frame_keys();
    strip_ = new coverage_strip(this, kStripHeight);
    strip_->set_coverage(coverage_of(keys_));
    strip_->on_pick([this](uint32_t value) { run_guarded([&] { go_to(nearest_frame(value)); }); });
    summary_ = new wxStaticText(this, wxID_ANY, coverage_text(strip_->shown()));
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(row, 1, wxEXPAND);
    column->Add(strip_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 5);
    column->Add(summary_, 0, wxALL, 5);
    SetSizer(column);
    wxAcceleratorEntry keys[] = {{wxACCEL_CTRL, WXK_LEFT, id_previous_gap},
                                 {wxACCEL_CTRL, WXK_RIGHT, id_next_gap}};
    SetAcceleratorTable(wxAcceleratorTable(2, keys));

    reader_->seek_frame(start);
    reader_->decode_current(current_);
    show_current();
    Layout();
    Centre(wxBOTH);
}

void viewer_dialog::show_current() {
    if (strip_) strip_->set_position(current_frame());
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

wxString viewer_dialog::summary() const {
    return summary_->GetLabel();
}

std::optional<uint32_t> viewer_dialog::current_frame() const {
    const std::string key = reader_->frame_bytes().first;
    if (!is_frame_key(key)) return std::nullopt;
    return frame_value(key);
}

uint32_t viewer_dialog::nearest_frame(uint32_t value) const {
    if (keys_.empty()) return value;
    const auto after = std::lower_bound(keys_.begin(), keys_.end(), value);
    if (after == keys_.end()) return keys_.back();
    if (after == keys_.begin()) return *after;
    const uint32_t before = *std::prev(after);
    return value - before <= *after - value ? before : *after;
}

void viewer_dialog::go_to(uint32_t value) {
    position_->SetValue(value);
    show_position(value);
}

bool viewer_dialog::jump_to_gap(bool forward) {
    const auto& gaps = strip_->shown().gaps;
    const uint32_t here = current_frame().value_or(keys_.empty() ? 0 : keys_.back());
    if (forward) {
        const auto it = std::find_if(gaps.begin(), gaps.end(),
                                     [&](const coverage_gap& g) { return g.start > here; });
        if (it == gaps.end()) return false;
        go_to(it->start);
    } else {
        const auto it = std::find_if(gaps.rbegin(), gaps.rend(),
                                     [&](const coverage_gap& g) { return g.start < here; });
        if (it == gaps.rend()) return false;
        go_to(it->start);
    }
    return true;
}

void viewer_dialog::on_gap(wxCommandEvent& event) {
    const bool forward = event.GetId() == id_next_gap;
    run_guarded([&] { jump_to_gap(forward); });
}

void viewer_dialog::on_position(wxSpinDoubleEvent& event) {
    const double value = event.GetValue();
    run_guarded([&] { show_position(value); });
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
    run_guarded([this] {
        const std::string key = reader_->frame_bytes().first;
        wxFileDialog dialog(this, L"Сохранить файл", wxEmptyString, wxString(key) + ".png",
                            L"Файлы png (*.png)|*.png", wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
        if (dialog.ShowModal() == wxID_OK) save_current_frame(dialog.GetPath());
    });
}

void viewer_dialog::on_close(wxCommandEvent&) {
    EndModal(wxID_OK);
}
