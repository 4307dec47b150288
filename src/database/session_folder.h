// The name of a session database's folder, both ways: the local time at
// which the database was opened for recording, "%Y.%m.%d %H.%M.%S" (for
// example "2024.03.05 14.07.09"). Any thread.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

std::string session_folder_name(std::time_t opened);

// The local date and time a folder name gives, field by field (tm_isdst -1);
// nothing unless it has exactly that shape and names a real date and time.
std::optional<std::tm> parse_session_folder_name(std::string_view name);

// The time a folder's name gives, from its last path component; nothing for
// a name of any other form.
std::optional<std::time_t> session_folder_time(const std::string& path);
