// A session code names a recording session: two texts joined as "A : B".
// Codes are narrow texts, compared exactly (case-sensitive).
#pragma once

#include <string>

// "%1% : %2%", or empty when either part is empty.
std::string make_session_code(const std::string& a, const std::string& b);
