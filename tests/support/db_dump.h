// Reading a session database back independently of the station's reader:
// plain LevelDB, every entry. A read handle the station's readers share is
// released first, so the database can be opened.
#pragma once

#include <map>
#include <string>
#include <vector>

// Every key and its value.
std::map<std::string, std::string> dump_database(const std::string& path);
// Every key, in the store's order.
std::vector<std::string> database_keys(const std::string& path);
