// Command-line client of the station's network services.
#include "services/data_protocol.h"
#include "services/discovery_protocol.h"
#include "services/rc_protocol.h"

#include <utility>

#include <boost/asio.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>

namespace asio = boost::asio;
using asio::ip::tcp;
using asio::ip::udp;

namespace {

const char* const kHelp = R"(undercam_client: finds stations and talks to their services.

  undercam_client discover [--to ADDRESS] [--service any|NAME] [--timeout MS]
      Sends {"type": "query", "service": ...} as one UDP datagram (at most 128
      bytes) to ADDRESS (default 127.0.0.1; a broadcast address reaches every
      station) port 12800, and prints every answer with its sender. A station
      answers when the service is "any" or its own name, "undercam_left" or
      "undercam_right"; the answer is the query with "type" = "answer" and
      "service" = that name, as indented JSON.

  undercam_client fetch --host HOST [--port 12600] [--first A] [--second B]
                        --value V --out FILE.png
      Data access: sends a 1024-byte request: bytes 0-19 the first session
      part, bytes 20-35 the second (each ended by a NUL within its field),
      bytes 36-39 the odometer value (unsigned 32-bit, little-endian), the
      rest zero. The reply is a 32-bit little-endian length n and n bytes of
      PNG: the frame at or after the value of the catalogued session "A : B",
      or, with an empty second part, of the recording in progress; n = 0
      means no image (nothing is being recorded). Writes the PNG to FILE.

  undercam_client rc --host HOST [--port 12700] --code N [--first A] [--second B]
      Remote control: sends a 1024-byte command: bytes 4-7 the code (32-bit,
      little-endian), bytes 8-27 the first session part, bytes 28 on the
      second, each ended by a NUL. Code 1 starts capture and recording, 2
      stops, 3 starts a new session "A : B" while recording. The station
      acknowledges with 1024 zero bytes as soon as it has taken the command.
      One client at a time: while one is connected the port is not listened on.
)";

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "undercam_client: %s\n", why.c_str());
    std::exit(1);
}

std::map<std::string, std::string> options(int argc, char** argv) {
    std::map<std::string, std::string> o;
    for (int i = 2; i < argc; ++i) {
        const std::string key = argv[i];
        if (key.rfind("--", 0) != 0 || i + 1 >= argc) fail("bad option " + key + "\n" + kHelp);
        o[key.substr(2)] = argv[++i];
    }
    return o;
}

std::string get(const std::map<std::string, std::string>& o, const std::string& key,
                const std::string& fallback = "\x01") {
    const auto it = o.find(key);
    if (it != o.end()) return it->second;
    if (fallback == "\x01") fail("--" + key + " is needed");
    return fallback;
}

int discover(const std::map<std::string, std::string>& o) {
    asio::io_context io;
    udp::socket socket(io, udp::endpoint(udp::v4(), 0));
    socket.set_option(asio::socket_base::broadcast(true));
    const std::string query = discovery_query(get(o, "service", "any"));
    const udp::endpoint to(asio::ip::make_address(get(o, "to", "127.0.0.1")), kDiscoveryPort);
    socket.send_to(asio::buffer(query), to);
    std::array<char, 2048> answer{};
    udp::endpoint from;
    int answers = 0;
    std::function<void()> receive = [&] {
        socket.async_receive_from(asio::buffer(answer), from, [&](auto ec, size_t n) {
            if (ec) return;
            std::printf("%s:\n%.*s", from.address().to_string().c_str(), int(n), answer.data());
            ++answers;
            receive();
        });
    };
    receive();
    io.run_for(std::chrono::milliseconds(std::atoi(get(o, "timeout", "1000").c_str())));
    if (answers == 0) std::printf("no station answered\n");
    return answers ? 0 : 2;
}

tcp::socket connect(asio::io_context& io, const std::map<std::string, std::string>& o,
                    const char* port) {
    tcp::resolver resolver(io);
    tcp::socket socket(io);
    asio::connect(socket, resolver.resolve(get(o, "host"), get(o, "port", port)));
    return socket;
}

int fetch(const std::map<std::string, std::string>& o) {
    asio::io_context io;
    tcp::socket socket = connect(io, o, "12600");
    const auto request = encode_data_request(get(o, "first", ""), get(o, "second", ""),
                                             uint32_t(std::stoul(get(o, "value"))));
    asio::write(socket, asio::buffer(request));
    uint8_t head[4];
    asio::read(socket, asio::buffer(head));
    const uint32_t n = head[0] | head[1] << 8 | head[2] << 16 | uint32_t(head[3]) << 24;
    std::vector<char> png(n);
    asio::read(socket, asio::buffer(png));
    if (n == 0) {
        std::printf("no image (n = 0)\n");
        return 2;
    }
    std::ofstream(get(o, "out"), std::ios::binary).write(png.data(), png.size());
    std::printf("%u bytes of PNG written to %s\n", n, get(o, "out").c_str());
    return 0;
}

int remote(const std::map<std::string, std::string>& o) {
    asio::io_context io;
    tcp::socket socket = connect(io, o, "12700");
    const auto command =
        encode_rc_command(std::stoi(get(o, "code")), get(o, "first", ""), get(o, "second", ""));
    asio::write(socket, asio::buffer(command));
    command_bytes reply{};
    asio::read(socket, asio::buffer(reply));
    std::printf("acknowledged\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "help") {
        std::fputs(kHelp, stdout);
        return argc < 2 ? 1 : 0;
    }
    try {
        const std::string verb = argv[1];
        const auto o = options(argc, argv);
        if (verb == "discover") return discover(o);
        if (verb == "fetch") return fetch(o);
        if (verb == "rc") return remote(o);
        fail("unknown command " + verb + "\n" + kHelp);
    } catch (const std::exception& e) {
        fail(e.what());
    }
}
