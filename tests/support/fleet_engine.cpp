#include "support/fleet_engine.h"
#include "support/test_home.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

const char* const kScript = FLEET_ENGINE_SCRIPT;
// Debian's awscli, never another one first on the PATH.
const char* const kAws = "/usr/bin/aws";

const char* const kDaemons[] = {"mon.a", "osd.0", "client.rgw.gw"};

// "name=value" lines.
std::string value_of(const std::string& lines, const std::string& name) {
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name + "=", 0) == 0) return line.substr(name.size() + 1);
    return "";
}

}  // namespace

std::string fleet_engine::unavailable() {
    for (const char* tool : {"/usr/bin/ceph-mon", "/usr/bin/ceph-osd", "/usr/bin/radosgw", kAws})
        if (access(tool, X_OK) != 0)
            return std::string(tool) + " is not installed (scripts/setup.sh --tests installs it)";
    return "";
}

fleet_engine& fleet_engine::shared() {
    static std::unique_ptr<fleet_engine> engine;
    static std::string failure;
    if (engine) return *engine;
    if (!failure.empty()) throw std::runtime_error(failure);
    try {
        engine = std::make_unique<fleet_engine>();
    } catch (const std::exception& e) {
        failure = e.what();
        throw;
    }
    return *engine;
}

fleet_engine::fleet_engine(bool idle) : idle_(idle) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "undercam-fleet-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("fleet_engine: mkdtemp failed");
    dir_ = pattern;
    // Before the first daemon: a crash during the start is cleaned up too.
    start_watchdog();
    try {
        start();
    } catch (...) {
        end_watchdog(false);
        throw;
    }
}

fleet_engine::~fleet_engine() {
    bool stopped = true;
    try {
        run("stop");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        stopped = false;
    }
    if (stopped) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    end_watchdog(stopped);
}

void fleet_engine::end_watchdog(bool cleaned_up) {
    // Told it is over, the watchdog leaves; left unsaid, it stops the engine
    // and removes its folder once more.
    if (cleaned_up && write(watchdog_fd_, "x", 1) != 1) {
    }
    close(watchdog_fd_);
    int status = 0;
    while (waitpid(watchdog_pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

void fleet_engine::start_watchdog() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("fleet_engine: pipe failed");
    // All it needs is ready before fork(): the child only calls what is safe
    // there.
    std::string bash = "/bin/bash";
    std::string code =
        "IFS= read -r -n 1 word <&3 && [ \"$word\" = x ] && exit 0; "
        "bash \"$1\" stop \"$2\" >/dev/null 2>&1; rm -rf \"$2\"";
    std::string name = "fleet-engine-watchdog";
    std::string script = kScript;
    std::vector<char*> argv = {bash.data(), const_cast<char*>("-c"), code.data(),
                               name.data(), script.data(),           dir_.data(),
                               nullptr};
    char** env = environ;
    const pid_t pid = fork();
    if (pid == 0) {
        // A session of its own: a terminal's Ctrl-C that ends the tests does
        // not end their cleanup. Only the pipe's read end, as 3, stays open.
        setsid();
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, STDIN_FILENO);
        if (fds[0] == 3)
            fcntl(3, F_SETFD, 0);
        else
            dup2(fds[0], 3);
        close_range(4, ~0U, 0);
        execve(bash.c_str(), argv.data(), env);
        _exit(127);
    }
    close(fds[0]);
    if (pid < 0) {
        close(fds[1]);
        throw std::runtime_error("fleet_engine: fork failed");
    }
    watchdog_fd_ = fds[1];
    watchdog_pid_ = pid;
}

std::string fleet_engine::run(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/bin/bash", kScript, command, dir_};
    argv.insert(argv.end(), args.begin(), args.end());
    const program_result r = run_program(argv, {}, std::chrono::seconds(300));
    if (r.status != 0)
        throw std::runtime_error("fleet_engine.sh " + command + " failed (status " +
                                 std::to_string(r.status) + "):\n" + r.err);
    return r.out;
}

void fleet_engine::take_start_output(const std::string& out) {
    start_output_ = out;
    endpoint_ = value_of(out, "endpoint");
    bucket_ = value_of(out, "bucket");
    account_ = {value_of(out, "access_key"), value_of(out, "secret_key")};
    if (endpoint_.empty() || bucket_.empty() || account_.access_key.empty() ||
        account_.secret_key.empty())
        throw std::runtime_error("fleet_engine.sh start printed no endpoint and keys:\n" + out);
}

void fleet_engine::start() {
    take_start_output(
        run("start", idle_ ? std::vector<std::string>{"--idle"} : std::vector<std::string>{}));
    https_endpoint_.clear();
}

const std::string& fleet_engine::https_endpoint() {
    if (https_endpoint_.empty()) {
        std::vector<std::string> args = {"--https"};
        if (idle_) args.push_back("--idle");
        https_endpoint_ = value_of(run("start", args), "endpoint");
    }
    return https_endpoint_;
}

std::vector<int> fleet_engine::ports() const {
    std::vector<int> out;
    const std::string lines = file_bytes(dir_ + "/ports");
    for (const char* name : {"mon", "http", "https"}) {
        const std::string port = value_of(lines, name);
        if (!port.empty()) out.push_back(std::stoi(port));
    }
    return out;
}

std::vector<pid_t> fleet_engine::daemon_pids() const {
    std::vector<pid_t> out;
    for (const char* name : kDaemons) {
        const std::string text = file_bytes(dir_ + "/run/" + name + ".pid");
        if (text.empty()) continue;
        const pid_t pid = std::stoi(text);
        if (::kill(pid, 0) == 0) out.push_back(pid);
    }
    return out;
}

void fleet_engine::stop() {
    run("stop");
}

void fleet_engine::kill_gateway() {
    run("kill-gateway");
}

void fleet_engine::pause_store() {
    run("pause-store");
}

void fleet_engine::resume_store() {
    run("resume-store");
}

void fleet_engine::slow_down() {
    run("slow-down");
}

void fleet_engine::speed_up() {
    run("speed-up");
}

s3_account fleet_engine::add_user(const std::string& name) {
    const std::string out = run("add-user", {name});
    return {value_of(out, "access_key"), value_of(out, "secret_key")};
}

program_result fleet_engine::aws(const std::vector<std::string>& args) const {
    return aws(args, account_, endpoint_);
}

program_result fleet_engine::aws(const std::vector<std::string>& args, const s3_account& as,
                                 const std::string& endpoint) const {
    std::vector<std::string> argv = {kAws, "--endpoint-url", endpoint};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_program(argv, {{"AWS_ACCESS_KEY_ID", as.access_key},
                              {"AWS_SECRET_ACCESS_KEY", as.secret_key},
                              {"AWS_DEFAULT_REGION", "us-east-1"},
                              {"AWS_EC2_METADATA_DISABLED", "true"},
                              {"AWS_MAX_ATTEMPTS", "1"},
                              {"AWS_RETRY_MODE", "standard"},
                              {"AWS_PAGER", ""}});
}
