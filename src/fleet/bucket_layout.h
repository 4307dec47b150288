// Where a session lies in the bucket, in one place:
//
//   <vehicle>/<left|right>/<YYYYMMDDTHHMMSS>/chunk-000000.bin ... manifest.json
//
// The time is the local date and time the session folder is named by. Chunk
// objects hold the session's frames in key order; manifest.json is written
// last and marks the session as complete. Object names keep to ASCII
// letters, digits and "._-/", which every S3 signature carries unchanged.
//
// Plain functions, safe from any thread. The checks throw
// std::invalid_argument with a text naming what is wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bucket_layout {

inline constexpr const char* manifest_name = "manifest.json";
// A chunk holds at most this many bytes, unless one frame alone is larger.
inline constexpr uint64_t chunk_limit = uint64_t(16) << 20;

// "chunk-000007.bin" for 7.
std::string chunk_name(size_t index);

// Letters, digits, '.', '_', '-'; 1 to 64 characters; not "." or "..".
bool is_vehicle_name(std::string_view vehicle);
// "left" or "right".
bool is_side_name(std::string_view side);

// "20240305T140709" for the folder "2024.03.05 14.07.09"; throws for a name
// that does not follow the station's folder rule.
std::string session_time(std::string_view folder_name);
// True for fifteen characters "YYYYMMDDTHHMMSS" of a real date and time.
bool is_session_time(std::string_view time);

// "<vehicle>/<side>/<time>/"; throws for a bad vehicle, side or folder name.
std::string session_prefix(std::string_view vehicle, std::string_view side,
                           std::string_view folder_name);

// Throws unless `name` is a non-empty object name of the safe characters,
// without empty, "." or ".." segments.
void check_object_name(std::string_view name);

}  // namespace bucket_layout
