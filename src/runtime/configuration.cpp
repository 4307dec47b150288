#include "runtime/configuration.h"

#include <sys/stat.h>

#include <wx/utils.h>

wxString cfg::write_path_default() {
    return wxGetUserHome();
}

wxFileName configuration_file_name(const wxString& home) {
    wxFileName name(home, ".undercam");
    name.AppendDir("Dunmere");
    name.AppendDir("config");
    return name;
}

bool make_configuration_folder(const wxFileName& file) {
    return file.DirExists() || wxFileName::Mkdir(file.GetPath(), 0777, wxPATH_MKDIR_FULL);
}

std::unique_ptr<wxFileConfig> open_configuration(const wxFileName& file) {
    return std::make_unique<wxFileConfig>(wxEmptyString, wxEmptyString, file.GetFullPath(),
                                          wxEmptyString, wxCONFIG_USE_LOCAL_FILE, wxConvUTF8);
}

void protect_secrets(wxConfigBase& config, const wxFileName& file) {
    if (config.Read(cfg::fleet_secret_key, wxString()).empty()) return;
    if (auto* on_file = dynamic_cast<wxFileConfig*>(&config)) on_file->SetUmask(0077);
    const std::string path = file.GetFullPath().fn_str().data();
    ::chmod(path.c_str(), 0600);  // not yet written: the umask sees to it
}
