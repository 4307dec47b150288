#include "services/service_fixture.h"

#include "database/catalogue.h"
#include "runtime/configuration.h"
#include "support/wait.h"

#include <fstream>
#include <sstream>

namespace asio = boost::asio;
using asio::ip::tcp;
using asio::ip::udp;

unsigned short free_tcp_port() {
    asio::io_context io;
    tcp::acceptor a(io, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    return a.local_endpoint().port();
}

unsigned short free_udp_port() {
    asio::io_context io;
    udp::socket s(io, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    return s.local_endpoint().port();
}

namespace {

struct tcp_row {
    unsigned local_port;
    unsigned remote_port;
    unsigned state;
    long unread;
};

std::vector<tcp_row> tcp_table() {
    std::vector<tcp_row> rows;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // headings
    auto port = [](const std::string& address) {
        return static_cast<unsigned>(
            std::stoul(address.substr(address.find(':') + 1), nullptr, 16));
    };
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;
        fields >> slot >> local >> remote >> state >> queues;
        rows.push_back({port(local), port(remote),
                        static_cast<unsigned>(std::stoul(state, nullptr, 16)),
                        std::stol(queues.substr(queues.find(':') + 1), nullptr, 16)});
    }
    return rows;
}

constexpr unsigned kListenState = 0x0A;
constexpr unsigned kEstablishedState = 0x01;

}  // namespace

bool listening_on(unsigned short port) {
    const auto rows = tcp_table();
    return std::any_of(rows.begin(), rows.end(), [&](const tcp_row& r) {
        return r.local_port == port && r.state == kListenState;
    });
}

size_t connections_on(unsigned short port) {
    const auto rows = tcp_table();
    return std::count_if(rows.begin(), rows.end(), [&](const tcp_row& r) {
        return r.local_port == port && r.state == kEstablishedState;
    });
}

long unread_by_service(unsigned short port, const tcp::socket& client) {
    const unsigned client_port = client.local_endpoint().port();
    for (const auto& r : tcp_table()) {
        if (r.local_port == port && r.remote_port == client_port) return r.unread;
    }
    return -1;
}

tcp_client::tcp_client(unsigned short port, std::chrono::milliseconds limit) {
    const bool connected = wait_until(
        [&] {
            boost::system::error_code ec;
            socket.connect({asio::ip::make_address("127.0.0.1"), port}, ec);
            if (ec) socket.close();
            return !ec;
        },
        limit);
    if (!connected) throw std::runtime_error("service does not listen");
}

std::vector<uint8_t> tcp_client::fetch(const request_bytes& request) {
    asio::write(socket, asio::buffer(request));
    return read_reply();
}

std::vector<uint8_t> tcp_client::read_reply() {
    uint8_t head[4];
    asio::read(socket, asio::buffer(head));
    const uint32_t n = head[0] | head[1] << 8 | head[2] << 16 | uint32_t(head[3]) << 24;
    std::vector<uint8_t> reply(head, head + 4);
    reply.resize(4 + n);
    asio::read(socket, asio::buffer(reply.data() + 4, n));
    return reply;
}

bool tcp_client::closed_by_peer(std::chrono::milliseconds limit) {
    uint8_t byte = 0;
    boost::system::error_code result = asio::error::would_block;
    socket.async_read_some(asio::buffer(&byte, 1),
                           [&](const boost::system::error_code& ec, size_t) { result = ec; });
    io.restart();
    io.run_for(limit);
    if (result == asio::error::would_block) {
        socket.cancel();
        io.restart();
        io.run();
        return false;
    }
    return result == asio::error::eof || result == asio::error::connection_reset;
}

void udp_client::send(const std::string& datagram, unsigned short port) {
    socket.send_to(asio::buffer(datagram), {asio::ip::make_address("127.0.0.1"), port});
}

std::optional<std::string> udp_client::receive(std::chrono::milliseconds limit) {
    std::array<char, 2048> answer{};
    udp::endpoint from;
    std::optional<std::string> result;
    socket.async_receive_from(asio::buffer(answer), from, [&](auto ec, size_t n) {
        if (!ec) result = std::string(answer.data(), n);
    });
    io.restart();
    io.run_for(limit);
    if (!result) socket.cancel();
    io.restart();
    io.poll();
    return result;
}

std::optional<std::string> udp_client::ask(const std::string& datagram, unsigned short port,
                                           std::chrono::milliseconds limit) {
    send(datagram, port);
    return receive(limit);
}

void service_fixture::SetUp() {
    port_ = free_tcp_port();
    config_->Write(cfg::data_service_port, wxString::Format("%u", port_));
    config_->Write(cfg::rc_service_port, wxString::Format("%u", port_));
    catalogue::instance().clear();
}

void service_fixture::TearDown() {
    link_->detach();  // stops every service still running
    services_.join_all();
    catalogue::instance().clear();
}

size_t service_fixture::rows_with(wxEventType type, const wxString& part) {
    const auto rows = texts(type);
    return std::count_if(rows.begin(), rows.end(),
                         [&](const wxString& row) { return row.Find(part) != wxNOT_FOUND; });
}

bool service_fixture::wait_for_row(wxEventType type, const wxString& part,
                                   std::chrono::milliseconds limit) {
    return wait_until([&] { return rows_with(type, part) > 0; }, limit);
}
