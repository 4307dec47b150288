// The process-wide catalogue of recorded databases, in the order they were
// appended. Changed only on the user-interface thread under the exclusive
// side of catalogue_lock; the data access service searches it under the
// shared side.
#pragma once

#include "database/ldb_info.h"

#include <shared_mutex>
#include <vector>

class catalogue {
  public:
    static std::shared_mutex& lock();
    // Guarded by lock().
    static std::vector<ldb_entry>& entries();
};
