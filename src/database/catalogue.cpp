#include "database/catalogue.h"

std::shared_mutex& catalogue::lock() {
    static std::shared_mutex guard;
    return guard;
}

std::vector<ldb_entry>& catalogue::entries() {
    static std::vector<ldb_entry> list;
    return list;
}
