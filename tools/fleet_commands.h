// undercam_client fleet list|fetch|restore: reading the fleet store.
#pragma once

#include <map>
#include <string>

extern const char* const kFleetHelp;

// Runs "fleet <verb>" with its options; returns the exit status. Throws the
// failure's text for the caller to print.
int fleet_command(const std::string& verb, const std::map<std::string, std::string>& options);
