#include "support/test_home.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

test_home::test_home() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "undercam-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

test_home::~test_home() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
