#include "support/station_setup.h"

#include "runtime/configuration.h"

std::unique_ptr<wxFileConfig> open_station_configuration(const std::string& home) {
    const wxFileName file = configuration_file_name(home);
    make_configuration_folder(file);
    return open_configuration(file);
}

void write_station_configuration(const std::string& home,
                                 const std::function<void(wxConfigBase&)>& write) {
    const auto config = open_station_configuration(home);
    write(*config);
    config->Flush();
}

station_setup::station_setup()
    : config_(open_station_configuration(home_.path())),
      link_(std::make_shared<app_link>(&window_, config_.get())) {}

station_setup::~station_setup() {
    link_->detach();
}

std::vector<wxString> station_setup::texts(wxEventType type) {
    window_.drain();
    return window_.texts(type);
}
