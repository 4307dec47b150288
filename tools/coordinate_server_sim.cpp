// Coordinate server simulator on 127.0.0.1: answers every 64-byte query with
// an answer naming the current session.
//
//   coordinate_server_sim [--port P] [--session FIRST:SECOND]... [--change-every S]
//                         [--drop-after N] [--duration S]
//
// --port         TCP port (default 12500; 0 picks a free one, which is printed)
// --session      session texts, may repeat; the answers go through them in turn
// --change-every seconds until the next --session is used (default 0: never)
// --drop-after   close each connection after N answers (the client must reconnect)
// --duration     stop after S seconds (default: run until interrupted)
#include "recording/coordinate_protocol.h"

#include <utility>

#include <boost/asio.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

struct settings {
    std::vector<std::pair<std::string, std::string>> sessions;
    double change_every = 0;
    long drop_after = 0;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    const std::pair<std::string, std::string>& current() const {
        if (change_every <= 0) return sessions.front();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return sessions[size_t(elapsed / change_every) % sessions.size()];
    }
};

class connection : public std::enable_shared_from_this<connection> {
  public:
    connection(tcp::socket socket, const settings& s) : socket_(std::move(socket)), settings_(s) {}
    void start() { read(); }

  private:
    void read() {
        auto self = shared_from_this();
        asio::async_read(socket_, asio::buffer(query_),
                         [this, self](boost::system::error_code ec, size_t) {
                             if (ec) return;
                             const auto& [first, second] = settings_.current();
                             answer_ = coordinate_answer(first, second);
                             asio::async_write(
                                 socket_, asio::buffer(answer_),
                                 [this, self](boost::system::error_code ec, size_t) {
                                     if (ec) return;
                                     ++answers_;
                                     if (settings_.drop_after && answers_ >= settings_.drop_after) {
                                         socket_.close();
                                         return;
                                     }
                                     read();
                                 });
                         });
    }

    tcp::socket socket_;
    const settings& settings_;
    coordinate_query_bytes query_{};
    coordinate_answer_bytes answer_{};
    long answers_ = 0;
};

void accept(tcp::acceptor& acceptor, const settings& s) {
    acceptor.async_accept([&acceptor, &s](boost::system::error_code ec, tcp::socket socket) {
        if (!ec) std::make_shared<connection>(std::move(socket), s)->start();
        if (acceptor.is_open()) accept(acceptor, s);
    });
}

}  // namespace

int main(int argc, char** argv) {
    settings s;
    unsigned short port = 12500;
    double duration = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "coordinate_server_sim: missing value for %s\n", a.c_str());
            return 2;
        }
        const std::string v = argv[++i];
        if (a == "--port")
            port = (unsigned short)std::atoi(v.c_str());
        else if (a == "--session") {
            const auto colon = v.find(':');
            s.sessions.emplace_back(v.substr(0, colon),
                                    colon == std::string::npos ? "" : v.substr(colon + 1));
        } else if (a == "--change-every")
            s.change_every = std::atof(v.c_str());
        else if (a == "--drop-after")
            s.drop_after = std::atol(v.c_str());
        else if (a == "--duration")
            duration = std::atof(v.c_str());
        else {
            std::fprintf(stderr, "coordinate_server_sim: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (s.sessions.empty()) s.sessions.emplace_back("A12", "7");

    asio::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    std::printf("%u\n", acceptor.local_endpoint().port());
    std::fflush(stdout);
    accept(acceptor, s);
    asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](auto, int) { io.stop(); });
    asio::steady_timer end(io);
    if (duration > 0) {
        end.expires_after(std::chrono::milliseconds(long(duration * 1000)));
        end.async_wait([&](boost::system::error_code ec) {
            if (!ec) io.stop();
        });
    }
    io.run();
    return 0;
}
