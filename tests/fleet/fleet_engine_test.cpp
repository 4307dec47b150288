// scripts/fleet_engine.sh as the fleet suites and a person trying the fleet
// store use it, through the fixture they share, checked with an independent
// S3 client (awscli).
#include "support/test_home.h"
#include "support/fleet_engine.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <filesystem>

namespace {

// A process that is gone or a zombie nobody reaped yet.
bool alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const size_t end = line.rfind(')');
    return end != std::string::npos && line.size() > end + 2 && line[end + 2] != 'Z';
}

// Nothing listens on it (connections closing in TIME_WAIT do not count).
bool port_free(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool free =
        bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(s, 1) == 0;
    close(s);
    return free;
}

// Bytes that no two runs share, in a file under the test's HOME.
std::string write_sample(const std::string& name, size_t size) {
    std::mt19937 random(std::random_device{}());
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    const std::string path = std::string(std::getenv("HOME")) + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

const char* const kEmptySha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// A name no earlier run of the suite used on the same engine.
std::string fresh(const std::string& name) {
    static std::mt19937 random(std::random_device{}());
    return name + "-" + std::to_string(random() % 1000000000);
}

class fleet_engine_test : public testing::Test {
  protected:
    void SetUp() override {
        const std::string why = fleet_engine::unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
    }

    static fleet_engine& engine() { return fleet_engine::shared(); }

    // Fetches the object into a file and returns its bytes ("" on failure,
    // with the client's error recorded).
    static std::string fetch(const std::string& key) {
        const std::string out = std::string(std::getenv("HOME")) + "/fetched";
        std::filesystem::remove(out);
        const program_result r =
            engine().aws({"s3api", "get-object", "--bucket", engine().bucket(), "--key", key, out});
        EXPECT_EQ(r.status, 0) << r.err;
        return file_bytes(out);
    }

    // The HTTP status of a signed request for the object (a key) or the bucket
    // (""), 0 when nothing answers: the status itself, through curl's own
    // signing, and at a fraction of awscli's start-up time. PUT sends an
    // empty body.
    static int status_of(const std::string& method, const std::string& key,
                         const s3_account& as = engine().account()) {
        std::vector<std::string> argv = {
            "curl",        "-s",
            "-o",          "/dev/null",
            "-w",          "%{http_code}",
            "--max-time",  "30",
            "--aws-sigv4", "aws:amz:us-east-1:s3",
            "--user",      as.access_key + ":" + as.secret_key,
            "-H",          std::string("x-amz-content-sha256: ") + kEmptySha256};
        if (method == "HEAD") {
            argv.push_back("--head");  // -X HEAD would wait for the body an error announces
        } else {
            argv.insert(argv.end(), {"-X", method});
            if (method == "PUT") argv.insert(argv.end(), {"--data-binary", ""});
        }
        argv.push_back(engine().endpoint() + "/" + engine().bucket() + (key.empty() ? "" : "/") +
                       key);
        return std::atoi(run_program(argv).out.c_str());
    }

    static void put(const std::string& path, const std::string& key) {
        const program_result r = engine().aws(
            {"s3api", "put-object", "--bucket", engine().bucket(), "--key", key, "--body", path});
        ASSERT_EQ(r.status, 0) << r.err;
    }
};

TEST_F(fleet_engine_test, prints_its_lines_and_keeps_the_data_across_a_stop) {
    fleet_engine& e = engine();
    EXPECT_TRUE(
        std::regex_match(e.start_output(), std::regex("endpoint=http://127\\.0\\.0\\.1:[0-9]+\n"
                                                      "access_key=[^\n]+\nsecret_key=[^\n]+\n"
                                                      "bucket=undercam-fleet\n")))
        << e.start_output();
    const std::string sample = write_sample("sample", 300 * 1024 + 7);
    put(sample, "vehicle/left/20240102T030405/chunk-000000");
    EXPECT_EQ(fetch("vehicle/left/20240102T030405/chunk-000000"), file_bytes(sample));

    const std::vector<pid_t> pids = e.daemon_pids();
    const std::vector<int> ports = e.ports();
    ASSERT_EQ(pids.size(), 3u);
    ASSERT_EQ(ports.size(), 3u);
    const std::string first = e.start_output();
    e.stop();
    for (pid_t pid : pids)
        EXPECT_FALSE(alive(pid)) << "daemon " << pid << " still runs after stop";
    for (int port : ports)
        EXPECT_TRUE(port_free(port)) << "port " << port << " still taken after stop";

    e.start();
    EXPECT_EQ(e.start_output(), first) << "the same keys, and the ports were free";
    EXPECT_EQ(fetch("vehicle/left/20240102T030405/chunk-000000"), file_bytes(sample));
}

TEST_F(fleet_engine_test, a_killed_gateway_comes_back_with_the_data) {
    fleet_engine& e = engine();
    const std::string sample = write_sample("before-kill", 64 * 1024);
    put(sample, "killed/before");
    const std::vector<pid_t> before = e.daemon_pids();
    ASSERT_EQ(before.size(), 3u);

    e.kill_gateway();
    EXPECT_FALSE(alive(before[2]));
    EXPECT_EQ(status_of("HEAD", "killed/before"), 0) << "nothing listens";

    // Back in the idle class, as a benchmark asks for it.
    const program_result idle =
        run_program({"/bin/bash", FLEET_ENGINE_SCRIPT, "start", e.dir(), "--idle"}, {},
                    std::chrono::seconds(120));
    ASSERT_EQ(idle.status, 0) << idle.err;
    EXPECT_EQ(idle.out, e.start_output()) << "same endpoint and keys";
    const std::vector<pid_t> after = e.daemon_pids();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0], before[0]) << "the monitor kept running";
    EXPECT_EQ(after[1], before[1]) << "the OSD kept running";
    EXPECT_NE(after[2], before[2]);
    EXPECT_EQ(sched_getscheduler(after[2]), SCHED_IDLE);
    EXPECT_EQ(fetch("killed/before"), file_bytes(sample));

    e.kill_gateway();
    e.start();
    EXPECT_NE(sched_getscheduler(e.daemon_pids().at(2)), SCHED_IDLE);
}

TEST_F(fleet_engine_test, a_paused_store_answers_408_until_it_resumes) {
    fleet_engine& e = engine();
    const std::string key = fresh("paused");
    e.pause_store();
    const auto started = std::chrono::steady_clock::now();
    const int during = status_of("HEAD", key);
    const auto waited = std::chrono::steady_clock::now() - started;
    const int put_during = status_of("PUT", key);
    e.resume_store();
    EXPECT_EQ(during, 408);
    EXPECT_EQ(put_during, 408);
    EXPECT_GE(waited, std::chrono::seconds(3)) << "the gateway waits for the store first";
    EXPECT_EQ(status_of("HEAD", key), 404) << "the store answers again and stored nothing";
}

TEST_F(fleet_engine_test, a_slowed_down_gateway_answers_503_until_it_speeds_up) {
    fleet_engine& e = engine();
    const std::string key = fresh("slow");
    e.slow_down();
    const int during = status_of("HEAD", key);
    const int put_during = status_of("PUT", key);
    e.speed_up();
    EXPECT_EQ(during, 503);
    EXPECT_EQ(put_during, 503);
    EXPECT_EQ(status_of("HEAD", key), 404) << "the store answers again and stored nothing";
    EXPECT_EQ(status_of("PUT", key), 200);
}

TEST_F(fleet_engine_test, https_is_trusted_only_with_the_engine_certificate) {
    fleet_engine& e = engine();
    const std::string https = e.https_endpoint();
    EXPECT_TRUE(std::regex_match(https, std::regex("https://127\\.0\\.0\\.1:[0-9]+"))) << https;
    EXPECT_NE(https, e.endpoint());
    const program_result refused =
        e.aws({"s3api", "head-bucket", "--bucket", e.bucket()}, e.account(), https);
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.err.find("CERTIFICATE_VERIFY_FAILED"), std::string::npos) << refused.err;
    const program_result trusted =
        e.aws({"--ca-bundle", e.ca_file(), "s3api", "head-bucket", "--bucket", e.bucket()},
              e.account(), https);
    EXPECT_EQ(trusted.status, 0) << trusted.err;
}

TEST_F(fleet_engine_test, a_second_user_has_keys_and_buckets_of_its_own) {
    fleet_engine& e = engine();
    const s3_account other = e.add_user(fresh("second"));
    ASSERT_FALSE(other.access_key.empty());
    EXPECT_NE(other.access_key, e.account().access_key);
    const program_result own = e.aws({"s3api", "list-buckets"}, other, e.endpoint());
    EXPECT_EQ(own.status, 0) << own.err;
    EXPECT_EQ(own.out.find(e.bucket()), std::string::npos) << own.out;
    EXPECT_EQ(status_of("HEAD", "", other), 403) << "not its bucket";
    EXPECT_EQ(status_of("HEAD", "", {e.account().access_key, other.secret_key}), 403)
        << "a wrong secret";
    EXPECT_EQ(status_of("HEAD", "", e.account()), 200);
}

// A test program killed with its engine running: the watchdog stops the
// daemons and removes the folder.
TEST_F(fleet_engine_test, a_killed_program_leaves_no_daemon_behind) {
    int report[2], go[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        close(go[1]);
        std::string line;
        try {
            fleet_engine own;
            line = own.dir();
            for (pid_t pid : own.daemon_pids())
                line += " " + std::to_string(pid);
        } catch (const std::exception& e) {
            line = std::string("failed: ") + e.what();
        }
        line += "\n";
        if (write(report[1], line.data(), line.size()) < 0) _exit(1);
        char byte;
        if (read(go[0], &byte, 1) < 0) _exit(1);
        // Never returns into the fixture's destructor: as a crash would.
        ::kill(getpid(), SIGKILL);
    }
    close(report[1]);
    close(go[0]);
    std::string line;
    char c;
    while (read(report[0], &c, 1) == 1 && c != '\n')
        line += c;
    close(report[0]);
    std::istringstream words(line);
    std::string dir;
    words >> dir;
    std::vector<pid_t> pids;
    for (pid_t pid; words >> pid;)
        pids.push_back(pid);
    EXPECT_EQ(pids.size(), 3u) << line;

    if (write(go[1], "x", 1) != 1) ADD_FAILURE() << "the child is gone";
    close(go[1]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(wait_until(
        [&] {
            for (pid_t pid : pids)
                if (alive(pid)) return false;
            return !std::filesystem::exists(dir);
        },
        std::chrono::seconds(60)))
        << "daemons or " << dir << " left behind";
}

}  // namespace
