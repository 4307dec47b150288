#include "fleet/fleet_settings.h"

#include "fleet/bucket_layout.h"
#include "runtime/app_link.h"
#include "runtime/configuration.h"
#include "runtime/text_encoding.h"

#include <wx/string.h>

namespace {

std::string text(const app_link& link, const wxString& key, const wxString& fallback = {}) {
    return link.read_text(key, fallback).ToStdString(wxConvUTF8);
}

}  // namespace

bool fleet_settings::usable() const {
    return enabled && !store.endpoint.empty() && !store.bucket.empty() &&
           bucket_layout::is_vehicle_name(vehicle);
}

fleet_settings read_fleet_settings(const app_link& link) {
    fleet_settings s;
    s.enabled = link.read_bool(cfg::fleet_enabled, cfg::fleet_enabled_default);
    s.store.endpoint = text(link, cfg::fleet_endpoint);
    s.store.region = text(link, cfg::fleet_region, cfg::fleet_region_default);
    if (s.store.region.empty()) s.store.region = cfg::fleet_region_default.ToStdString();
    s.store.bucket = text(link, cfg::fleet_bucket);
    s.store.access_key = text(link, cfg::fleet_access_key);
    s.store.secret_key = text(link, cfg::fleet_secret_key);
    s.store.ca_file =
        to_narrow(link.read_text(cfg::fleet_ca_file, {}));  // a path, as the system names it
    const long rate = link.read_long(cfg::fleet_max_rate, cfg::fleet_max_rate_default);
    s.store.max_rate = rate > 0 ? uint64_t(rate) : 0;
    s.vehicle = text(link, cfg::fleet_vehicle);
    return s;
}
