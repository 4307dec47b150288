// A pseudo-terminal pair standing in for the odometer's serial line: the
// station opens path(), the test writes to the other end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class pty_pair {
  public:
    pty_pair();
    ~pty_pair();
    pty_pair(const pty_pair&) = delete;
    pty_pair& operator=(const pty_pair&) = delete;

    const std::string& path() const { return path_; }
    void send(const std::vector<uint8_t>& bytes);
    void send_new(uint32_t value);  // 7-byte message
    void send_old(uint32_t value);  // 4-byte message
    // Bytes sent and not yet read by the station.
    size_t unread() const;

  private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line stays up between station opens
    std::string path_;
};
