#include "app/camera/camera_controls.h"

#include "app/command_ids.h"
#include "runtime/configuration.h"
#include "runtime/journal.h"
#include "runtime/text_encoding.h"

#include <wx/stattext.h>

camera_controls::camera_controls(FACTORY_HANDLE& factory, const app_link_ptr& link,
                                 std::function<bool()> idle)
    : factory_(factory), link_(link), idle_(std::move(idle)) {
    exposure_mode_ = link_->read_text(cfg::exposure_mode, cfg::exposure_mode_default);
}

camera_controls::~camera_controls() = default;

void camera_controls::add_commands(command_table& commands) {
    commands.add(id_refresh_cameras, L"Обновить список камер", idle_,
                 [this] { refresh_cameras(); });
    commands.add(id_camera_choice, wxEmptyString, idle_, {});
    commands.add(id_exposure_choice, wxEmptyString, {}, {});
}

void camera_controls::add_tools(wxToolBar* bar) {
    bar->AddControl(new wxStaticText(bar, wxID_ANY, L" Камера: "));
    camera_choice_ = new wxChoice(bar, id_camera_choice);
    show_camera_descriptions();
    bar->AddControl(camera_choice_);
    bar->AddSeparator();
    bar->AddControl(new wxStaticText(bar, wxID_ANY, L" Выдержка: "));
    wxArrayString modes;
    for (const auto& m : exposure_modes())
        modes.push_back(m);
    exposure_choice_ =
        new wxChoice(bar, id_exposure_choice, wxDefaultPosition, wxDefaultSize, modes);
    exposure_choice_->SetStringSelection(exposure_mode_);
    bar->AddControl(exposure_choice_);
}

void camera_controls::refresh_camera_list() {
    try {
        cameras_ = enumerate_cameras(factory_);
        log_info(wxString::Format("%u camera(s) detected", static_cast<unsigned>(cameras_.size())));
        for (const auto& [description, id] : cameras_)
            log_info(from_narrow(id));
    } catch (const std::exception& e) {
        log_error(std::string(e.what()));
    }
}

void camera_controls::open_preferred_camera() {
    if (cameras_.empty()) return;
    const wxString driver = link_->read_text(cfg::driver, cfg::driver_default);
    select_camera(choose_camera(cameras_, to_narrow(driver)));
}

void camera_controls::release() {
    camera_.reset();
}

void camera_controls::refresh_cameras() {
    const std::string remembered = to_narrow(camera_choice_->GetStringSelection());
    camera_.reset();
    refresh_camera_list();
    show_camera_descriptions();
    select_camera(remembered);
}

void camera_controls::show_camera_descriptions() {
    camera_choice_->Clear();
    for (const auto& [description, id] : cameras_)
        camera_choice_->Append(from_narrow(description));
    // Wide enough for the whole description; the tool bar makes room.
    camera_choice_->InvalidateBestSize();
    camera_choice_->SetSize(camera_choice_->GetBestSize());
    if (auto* bar = dynamic_cast<wxToolBar*>(camera_choice_->GetParent());
        bar && bar->GetToolsCount() > 0) {
        bar->Realize();
    }
}

void camera_controls::select_camera(const std::string& description) {
    try {
        camera_description_ = description;
        camera_choice_->SetStringSelection(from_narrow(description));
        const auto it = cameras_.find(description);
        if (it == cameras_.end()) return;
        camera_ = JAI_Camera::open(factory_, it->second);
        log_info(wxString::Format("Active camera selected: %s", from_narrow(it->second)));
    } catch (const std::exception& e) {
        log_error(std::string(e.what()));
    }
}

void camera_controls::on_camera_choice(const wxString& description) {
    if (!idle_()) {
        // The running capture keeps its camera; the choice shows it again.
        camera_choice_->SetStringSelection(from_narrow(camera_description_));
        return;
    }
    camera_.reset();
    select_camera(to_narrow(description));
}

void camera_controls::on_exposure_choice(const wxString& mode) {
    exposure_mode_ = mode;
    link_->with_config([&](wxConfigBase& config) { config.Write(cfg::exposure_mode, mode); });
    if (camera_) camera_->set_exposure_mode(to_narrow(mode));
    log_info(wxString::Format("Exposure mode selected: %s", mode));
}
