// The name of a session database's folder, both ways: the local time at
// which the database was opened for recording, "%Y.%m.%d %H.%M.%S" (for
// example "2024.03.05 14.07.09"). Any thread.
#pragma once

#include <ctime>
#include <optional>
#include <string>

std::string session_folder_name(std::time_t opened);

// The time a folder's name gives, from its last path component; nothing for
// a name of any other form.
std::optional<std::time_t> session_folder_time(const std::string& path);
