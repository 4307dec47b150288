// The file descriptors the services leave to the rest of the station.
//
// Every descriptor the process has counts against one limit (RLIMIT_NOFILE).
// The recording needs descriptors of its own at moments nobody chooses: a
// session's database opens its files when the odometer's next message comes,
// the store compacts, the serial line and the coordinate server reconnect.
// So the services take a descriptor (a data connection, a database opened
// for a request) only while at least reserve() would stay free afterwards;
// a load on the services then never makes a session's writes fail.
//
// The counts are taken anew at each call (other threads open and close
// files meanwhile), so they are a guide with a margin, not an exact budget.
// Safe from any thread.
#pragma once

#include <cstddef>

class descriptor_reserve {
  public:
    // The process's soft limit on open descriptors.
    static size_t limit();
    // Descriptors open now; the limit when they cannot be counted (counting
    // itself needs a descriptor).
    static size_t open();
    // What the services leave free: an eighth of the limit, at least 64.
    static size_t reserve();
    // Whether `wanted` more descriptors would leave the reserve free.
    static bool allows(size_t wanted);
};
