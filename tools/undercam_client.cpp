// Command-line client of the station's network services, reader of its
// session databases' coverage, and reader of the fleet store.
#include "fleet_commands.h"

#include "database/coverage_report.h"
#include "services/data_protocol.h"
#include "services/discovery_protocol.h"
#include "services/rc_protocol.h"
#include "services/service_client.h"

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
      part, bytes 20-35 the second (each ended by a NUL within its field, so
      at most 19 and 15 bytes), bytes 36-39 the odometer value (unsigned
      32-bit, little-endian), the rest zero. The reply is a 32-bit
      little-endian length n and n bytes of PNG: the frame at or after the
      value of the catalogued session "A : B", or, with an empty second part,
      of the recording in progress; n = 0 means no image (nothing is being
      recorded). Writes the PNG to FILE. A length above 256 MiB is refused:
      the peer is not a station.

  undercam_client rc --host HOST [--port 12700] --code N [--first A] [--second B]
      Remote control: sends a 1024-byte command: bytes 4-7 the code (32-bit,
      little-endian), bytes 8-27 the first session part (at most 19 bytes),
      bytes 28 on the second (at most 995), each ended by a NUL. Code 1 starts
      capture and recording, 2 stops, 3 starts a new session "A : B" while
      recording. The station acknowledges with 1024 zero bytes as soon as it
      has taken the command. One client at a time: while one is connected the
      port is not listened on (a client silent for 30 s gives way).

  undercam_client coverage --db PATH
      Prints the coverage of a session database folder by distance: frames,
      span, nominal step, covered share, then every gap (a step longer than
      1.5 nominal steps) with its keys, length and frames missing. A database
      the station holds open (being recorded) is refused as in use.

  fetch and rc also take --connect-timeout MS (default 5000) and --timeout MS
  (default 30000, for the request and for the reply); a part too long for
  its field is refused, never cut.
)";

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "undercam_client: %s\n", why.c_str());
    std::exit(1);
}

std::map<std::string, std::string> options(int argc, char** argv, int first = 2) {
    std::map<std::string, std::string> o;
    for (int i = first; i < argc; ++i) {
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

service_client connect(const std::map<std::string, std::string>& o, const char* port) {
    client_timeouts timeouts;
    timeouts.connect = std::chrono::milliseconds(std::stol(get(o, "connect-timeout", "5000")));
    timeouts.io = std::chrono::milliseconds(std::stol(get(o, "timeout", "30000")));
    return service_client(get(o, "host"), get(o, "port", port), timeouts);
}

int fetch(const std::map<std::string, std::string>& o) {
    using namespace data_request_layout;
    const auto request =
        encode_data_request(checked_field("--first", get(o, "first", ""), kFirstSize),
                            checked_field("--second", get(o, "second", ""), kSecondSize),
                            uint32_t(std::stoul(get(o, "value"))));
    const std::string out = get(o, "out");
    const std::vector<uint8_t> png = connect(o, "12600").fetch(request);
    if (png.empty()) {
        std::printf("no image (n = 0)\n");
        return 2;
    }
    std::ofstream(out, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
    std::printf("%zu bytes of PNG written to %s\n", png.size(), out.c_str());
    return 0;
}

int remote(const std::map<std::string, std::string>& o) {
    using namespace rc_command_layout;
    const auto command = encode_rc_command(
        std::stoi(get(o, "code")), checked_field("--first", get(o, "first", ""), kFirstSize),
        checked_field("--second", get(o, "second", ""), kSecondSize));
    connect(o, "12700").command(command);
    std::printf("acknowledged\n");
    return 0;
}

int print_coverage(const std::map<std::string, std::string>& o) {
    const auto db = o.find("db");
    if (db == o.end() || db->second.empty()) fail("coverage needs --db PATH");
    std::fputs(coverage_table(coverage_of_database(db->second)).c_str(), stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "help") {
        std::fputs(kHelp, stdout);
        std::fputs(kFleetHelp, stdout);
        return argc < 2 ? 1 : 0;
    }
    try {
        const std::string verb = argv[1];
        if (verb == "fleet") {
            if (argc < 3) fail(std::string("fleet needs list, fetch or restore\n") + kFleetHelp);
            return fleet_command(argv[2], options(argc, argv, 3));
        }
        const auto o = options(argc, argv);
        if (verb == "discover") return discover(o);
        if (verb == "fetch") return fetch(o);
        if (verb == "rc") return remote(o);
        if (verb == "coverage") return print_coverage(o);
        fail("unknown command " + verb + "\n" + kHelp);
    } catch (const std::exception& e) {
        fail(e.what());
    }
}
