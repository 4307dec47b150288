// Session databases made for tests with the station's own writer.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

// An 8-bit frame whose mean brightness tells which value it was made for.
cv::Mat sample_frame(uint32_t value, int width = 64, int height = 48);

// Brightness sample_frame() gives a value.
int sample_brightness(uint32_t value);

// Writes frames at the values, then closes with the session and side
// (close = false leaves the database as a killed recording would).
void make_database(const std::string& path, const std::vector<uint32_t>& values,
                   const std::string& session, const std::string& side, bool close = true,
                   cv::Size size = cv::Size(64, 48));

// `count` closed sessions in `folder`, each a copy of one small database
// whose files are linked rather than copied, so thousands take seconds. The
// store replaces its files rather than changing them, so the copies stay
// apart; each locks and logs on its own. Returns their paths.
std::vector<std::string> many_sessions(const std::string& folder, int count);
