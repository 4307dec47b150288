// Runs a program to its end and keeps what it printed, for tests that drive
// command-line tools (scripts, awscli, the client). Safe to call from any
// thread: the child gets its environment and descriptors prepared before
// fork() and does nothing but execve() after it.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

struct program_result {
    int status = -1;  // exit status, 128 + signal, or -1 when it was killed for lasting too long
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH when it has no '/') with the test's
// environment plus `env` (which wins), standard input from /dev/null, and
// waits at most `limit` before killing it.
program_result run_program(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& env = {},
                           std::chrono::seconds limit = std::chrono::seconds(120));
