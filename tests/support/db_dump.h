// Reading a session database back independently of the station's reader:
// plain LevelDB, every entry. A read handle the station's readers share is
// released first, so the database can be opened.
#pragma once

#include "database/ldb_info.h"

#include <map>
#include <string>
#include <vector>

// Every key and its value.
std::map<std::string, std::string> dump_database(const std::string& path);
// Every key, in the store's order.
std::vector<std::string> database_keys(const std::string& path);
// Every field of a record, one to a line: two records compare as texts,
// and a difference shows which field it is.
std::string record_text(const ldb_info& info);
