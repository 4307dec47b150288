#include "support/station_process.h"

#include "services/rc_protocol.h"

#include <utility>  // before Asio, which uses std::exchange without it

#include <boost/asio.hpp>

#include <wx/string.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

station_process::station_process(const std::string& binary, const std::string& home,
                                 const std::map<std::string, std::string>& env) {
    pid_ = fork();
    if (pid_ == 0) {
        setenv("HOME", home.c_str(), 1);
        for (const auto& [k, v] : env)
            setenv(k.c_str(), v.c_str(), 1);
        // The test's own descriptors (a pseudo-terminal's ends, sockets) stay
        // the test's: a line the test pulls must be gone for the station too.
        ::close_range(3, ~0u, 0);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

station_process::~station_process() {
    kill();
}

bool station_process::running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        pid_ = -1;
        return false;
    }
    return true;
}

int station_process::wait(std::chrono::seconds limit) {
    if (!wait_until([&] { return !running(); }, limit)) return -1;
    return status_;
}

int station_process::terminate(std::chrono::seconds limit) {
    if (!running()) return status_;
    ::kill(pid_, SIGTERM);
    return wait(limit);
}

void station_process::kill() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }
}

std::wstring read_journal(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string raw = bytes.str();
    std::wstring text = wxString::FromUTF8(raw.data(), raw.size()).ToStdWstring();
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, L"&#") == 0) {
            const size_t end = text.find(L';', i);
            if (end != std::wstring::npos) {
                out += static_cast<wchar_t>(std::stoul(text.substr(i + 2, end - i - 2)));
                i = end;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<std::string> journal_files(const std::string& home) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(home + "/Dunmere/log", ec)) {
        files.push_back(e.path().string());
    }
    return files;
}

std::string shell_output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 256> chunk{};
        while (fgets(chunk.data(), chunk.size(), p))
            out += chunk.data();
        pclose(p);
    }
    return out;
}

std::wstring station_journal(const std::string& home) {
    const auto files = journal_files(home);
    return files.size() == 1 ? read_journal(files[0]) : std::wstring();
}

bool remote_command(int code) {
    namespace asio = boost::asio;
    try {
        asio::io_context io;
        asio::ip::tcp::socket socket(io);
        socket.connect({asio::ip::make_address("127.0.0.1"), 12700});
        asio::write(socket, asio::buffer(encode_rc_command(code)));
        command_bytes reply{};
        asio::read(socket, asio::buffer(reply));
        return reply == kCommandReply;
    } catch (const std::exception&) {
        return false;
    }
}
