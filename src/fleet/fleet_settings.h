// The fleet store's settings (the fleet_* keys), read with their defaults.
#pragma once

#include "fleet/s3_client.h"

#include <string>

class app_link;

struct fleet_settings {
    bool enabled = false;
    s3_settings store;    // endpoint, region, bucket, keys, CA file, rate
    std::string vehicle;  // empty: nothing is uploaded

    // Whether uploads may run: enabled, with an endpoint, a bucket and a
    // vehicle name the bucket layout takes.
    bool usable() const;
};

// Any thread (the link serialises configuration access).
fleet_settings read_fleet_settings(const app_link& link);
