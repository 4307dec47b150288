#include "database/session_code.h"

#include <boost/format.hpp>

std::string make_session_code(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return {};
    return (boost::format("%1% : %2%") % a % b).str();
}
