// A temporary folder that is removed with everything in it when destroyed.
#pragma once

#include <filesystem>
#include <string>

class test_home {
  public:
    test_home();
    ~test_home();
    test_home(const test_home&) = delete;
    test_home& operator=(const test_home&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// Every byte of a file; "" when it cannot be read.
std::string file_bytes(const std::string& path);
