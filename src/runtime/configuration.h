// The station's configuration: one flat set of keys in <home>/Dunmere/config/.undercam.
// Each reader reads a key with its own default, listed here once.
#pragma once

#include <wx/fileconf.h>
#include <wx/filename.h>

#include <memory>

namespace cfg {

inline const wxString side = "side";
inline const wxString driver = "driver";
inline const wxString exposure_mode = "exposure_mode";
inline const wxString rotate180 = "rotate180";
inline const wxString show_scale = "show_scale";
inline const wxString scale = "scale";
inline const wxString write_path = "write_path";
inline const wxString dpp_port = "dpp_port";
inline const wxString dpp_format = "dpp_format";
inline const wxString coordinate_server_enabled = "coordinate_server_enabled";
inline const wxString coordinate_server_address = "coordinate_server_address";
inline const wxString coordinate_server_port = "coordinate_server_port";
inline const wxString coordinate_server_query_period = "coordinate_server_query_period";
inline const wxString data_service_port = "data_service_port";
inline const wxString data_service_max_connections = "data_service_max_connections";
inline const wxString rc_service_enabled = "rc_service_enabled";
inline const wxString rc_service_port = "rc_service_port";
// The fleet store, an S3-compatible object store closed sessions go to.
inline const wxString fleet_enabled = "fleet_enabled";
inline const wxString fleet_endpoint = "fleet_endpoint";
inline const wxString fleet_region = "fleet_region";
inline const wxString fleet_bucket = "fleet_bucket";
inline const wxString fleet_access_key = "fleet_access_key";
// Never shown, written to the journal or sent anywhere but in the signature.
inline const wxString fleet_secret_key = "fleet_secret_key";
inline const wxString fleet_vehicle = "fleet_vehicle";
inline const wxString fleet_max_rate = "fleet_max_rate";  // KB/s
inline const wxString fleet_ca_file = "fleet_ca_file";

// Defaults of the readers.
inline const wxString side_default = L"левый";
inline const wxString side_unknown = L"не определен";   // start-up banner only
inline const wxString driver_default = "SocketDriver";  // start-up camera choice
inline const wxString driver_dialog_default = "FilterDriver";
inline const wxString exposure_mode_default = "Off";
constexpr bool rotate180_default = false;
constexpr bool show_scale_default = true;
constexpr double scale_default = 0.8;
wxString write_path_default();  // the user's home folder
inline const wxString dpp_port_default = "COM1";
inline const wxString dpp_format_default = L"ДПП7";
constexpr bool coordinate_server_enabled_default = true;
inline const wxString coordinate_server_address_default = "127.0.0.1";
inline const wxString coordinate_server_port_default = "12500";
constexpr long coordinate_server_query_period_default = 5;
inline const wxString data_service_port_default = "12600";
constexpr long data_service_max_connections_default = 64;  // open data connections at once
constexpr bool rc_service_enabled_default = false;
inline const wxString rc_service_port_default = "12700";
constexpr bool fleet_enabled_default = false;
inline const wxString fleet_region_default = "us-east-1";
constexpr long fleet_max_rate_default = 0;  // no limit
// fleet_endpoint, fleet_bucket, the keys, fleet_vehicle and fleet_ca_file
// default to empty; nothing is uploaded while the vehicle is empty, and an
// empty CA file means the system's certificates.

}  // namespace cfg

// <home>/Dunmere/config/.undercam
wxFileName configuration_file_name(const wxString& home);

// Creates the configuration folder (with parents, 0777) if missing. False when
// it cannot be created; the configuration object is usable all the same.
bool make_configuration_folder(const wxFileName& file);

// The configuration object on that file: local file only, UTF-8 text.
std::unique_ptr<wxFileConfig> open_configuration(const wxFileName& file);

// Once the configuration holds a secret (fleet_secret_key), its file is
// readable by its owner only, now and whenever it is written again. Call it
// with the configuration's guard held (app_link::with_config).
void protect_secrets(wxConfigBase& config, const wxFileName& file);
