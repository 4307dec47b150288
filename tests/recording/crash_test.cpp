// A recording killed at any moment (kill -9) leaves every session database
// openable, holding every frame whose status line was posted, and the next
// start finishes the unclosed session from what it holds.
#include "database/ldb_format.h"
#include "database/session_repair.h"
#include "support/db_dump.h"
#include "support/pty_pair.h"
#include "support/test_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <random>
#include <regex>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The child's output lines, read as they come.
class child_output {
  public:
    explicit child_output(int fd)
        : reader_([this, fd] {
              FILE* in = fdopen(fd, "r");
              char line[512];
              while (in && std::fgets(line, sizeof(line), in)) {
                  std::lock_guard<std::mutex> lock(guard_);
                  lines_.emplace_back(line);
              }
              if (in) std::fclose(in);
          }) {}
    ~child_output() { reader_.join(); }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> lock(guard_);
        return lines_;
    }

  private:
    std::mutex guard_;
    std::vector<std::string> lines_;  // guarded by guard_
    std::thread reader_;
};

}  // namespace

TEST(crash, a_recording_killed_at_any_moment_loses_nothing_acknowledged) {
    std::mt19937 random(20260312);
    const std::regex stored(R"(status: ДПП\[7\]: (\d+) Записано: (\d+) )");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        test_home home;
        pty_pair line;
        int pipe_fds[2];
        ASSERT_EQ(pipe(pipe_fds), 0);
        const pid_t child = fork();
        if (child == 0) {
            dup2(pipe_fds[1], STDOUT_FILENO);
            close(pipe_fds[0]);
            execl(RECORDING_CHILD, RECORDING_CHILD, home.path().c_str(), line.path().c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(pipe_fds[1]);
        std::set<uint32_t> acknowledged;
        {
            child_output output(pipe_fds[0]);
            ASSERT_TRUE(wait_until([&] {
                for (const auto& l : output.lines()) {
                    if (l.rfind("info: Последовательный порт: ", 0) == 0) return true;
                }
                return false;
            }));
            // Values at about 200 a second (resets included) until the kill.
            const auto kill_after =
                std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 1500)(random));
            const auto begin = std::chrono::steady_clock::now();
            uint32_t value = 1000;
            int sent = 0;
            while (std::chrono::steady_clock::now() - begin < kill_after) {
                line.send_new(value);
                value = ++sent % 150 == 0 ? 1000 : value + 5;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            ASSERT_TRUE(WIFSIGNALED(status));
            // The reader ends with the pipe; every line printed is in.
            uint32_t written_before = 0;
            for (const auto& l : output.lines()) {
                std::smatch m;
                if (!std::regex_search(l, m, stored)) continue;
                const uint32_t written = uint32_t(std::stoul(m[2]));
                if (written > written_before || written == 1) {
                    acknowledged.insert(uint32_t(std::stoul(m[1])));
                }
                written_before = written;
            }
        }
        // Every store opens; every acknowledged frame is in one of them; the
        // next start finishes the unclosed sessions from what they hold.
        std::set<uint32_t> found;
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(home / "rec", ec)) {
            const std::string path = e.path().string();
            if (!holds_store(path)) continue;  // killed before the store existed
            // A store killed while it was being made may hold nothing yet.
            const auto before = dump_database(path);
            uint64_t frames = 0;
            for (const auto& [key, bytes] : before) {
                if (key.size() == 10 && std::isdigit(static_cast<unsigned char>(key[0]))) {
                    found.insert(uint32_t(std::stoul(key)));
                    ++frames;
                    EXPECT_GT(bytes.size(), 100u) << key;  // a whole JPEG
                }
            }
            const session_repair repair = finish_unclosed_session(path, "левый");
            if (frames == 0) continue;
            EXPECT_NE(repair.result, session_repair::not_a_session) << path;
            // A closed session counts every frame it was given, an unclosed one
            // every frame it holds.
            const auto after = dump_database(path);
            if (!before.count("count")) {
                EXPECT_EQ(after.at("count"), count_text(frames)) << path;
            }
        }
        for (uint32_t v : acknowledged)
            EXPECT_TRUE(found.count(v)) << "acknowledged frame " << v << " is missing";
    }
}
