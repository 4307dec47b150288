#include "runtime/configuration.h"

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
