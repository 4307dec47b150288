// The real undercam program started in a child process with a HOME of the
// test's choosing, for tests that run under a display server.
#pragma once

#include "support/wait.h"

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <sys/types.h>

class station_process {
  public:
    // Starts `binary` with HOME = home and the extra environment given, and
    // none of the test's open descriptors but the standard three.
    station_process(const std::string& binary, const std::string& home,
                    const std::map<std::string, std::string>& env = {});
    ~station_process();  // kills a child that is still running

    pid_t pid() const { return pid_; }
    bool running();
    // Sends SIGTERM and waits; the exit status, or -1 if it did not end in time.
    int terminate(std::chrono::seconds limit = std::chrono::seconds(20));
    // Waits for the child to end by itself; its exit status or -1.
    int wait(std::chrono::seconds limit);
    void kill();

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// Text of a journal file with its character references and UTF-8 decoded,
// whichever locale wrote it.
std::wstring read_journal(const std::string& path);

// Journal files in <home>/Dunmere/log.
std::vector<std::string> journal_files(const std::string& home);
// The text of the station's journal when <home> holds exactly one, else "".
std::wstring station_journal(const std::string& home);

// Sends a remote-control command to the station on 127.0.0.1:12700; true
// once it is acknowledged.
bool remote_command(int code);

// Output of a shell command, or "" when it fails.
std::string shell_output(const std::string& command);
