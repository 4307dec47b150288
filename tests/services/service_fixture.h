// Shared set-up of the service tests: a configuration of their own, a
// recorder standing in for the main window, free ports of 127.0.0.1, and
// blocking clients that wait until a service listens.
#pragma once

#include "runtime/worker_threads.h"
#include "services/data_protocol.h"
#include "support/station_setup.h"

#include <boost/asio.hpp>
#include <gtest/gtest.h>
#include <wx/fileconf.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

unsigned short free_tcp_port();
unsigned short free_udp_port();

// What the kernel tells of TCP sockets of this network namespace
// (/proc/net/tcp): whether something listens on the port, and how many bytes
// of the connection of `client` the service on `port` has not read yet (-1
// when there is no such connection).
bool listening_on(unsigned short port);
// Connections a service on `port` has open (its side of them).
size_t connections_on(unsigned short port);
long unread_by_service(unsigned short port, const boost::asio::ip::tcp::socket& client);

// A blocking client connection to 127.0.0.1, made once the service listens.
struct tcp_client {
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket{io};
    explicit tcp_client(unsigned short port,
                        std::chrono::milliseconds limit = std::chrono::seconds(10));
    // One request and its whole reply (length and PNG).
    std::vector<uint8_t> fetch(const request_bytes& request);
    std::vector<uint8_t> read_reply();
    // Whether the service has closed this connection (end of stream or
    // reset) within the limit; nothing else must arrive meanwhile.
    bool closed_by_peer(std::chrono::milliseconds limit = std::chrono::seconds(10));
};

// A UDP socket on 127.0.0.1 that sends datagrams and waits for answers.
struct udp_client {
    boost::asio::io_context io;
    boost::asio::ip::udp::socket socket{
        io, boost::asio::ip::udp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0)};
    void send(const std::string& datagram, unsigned short port);
    // The next answer, or nothing within the limit.
    std::optional<std::string> receive(std::chrono::milliseconds limit);
    std::optional<std::string> ask(
        const std::string& datagram, unsigned short port,
        std::chrono::milliseconds limit = std::chrono::milliseconds(500));
};

class service_fixture : public testing::Test, protected station_setup {
  protected:
    void SetUp() override;
    void TearDown() override;

    void start(wxThread* service) { services_.run(std::unique_ptr<wxThread>(service), "service"); }
    // Rows of a type whose text contains `part`.
    size_t rows_with(wxEventType type, const wxString& part);
    // Waits until such a row has come.
    bool wait_for_row(wxEventType type, const wxString& part,
                      std::chrono::milliseconds limit = std::chrono::seconds(10));

    unsigned short port_ = 0;  // the data and remote control services' port
    worker_threads services_;  // joined at tear-down, once the link is detached
};
