// The data access service under load and against careless peers, on real
// sockets of 127.0.0.1: the connection limit, idle eviction, keepalive, the
// port that cannot be had, and the journal rows peers cause.
#include "runtime/configuration.h"
#include "services/img_service.h"
#include "services/service_fixture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>

#include <memory>
#include <thread>
#include <vector>

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

namespace {

const std::vector<uint8_t> kNoImage{0, 0, 0, 0};

class data_service_test : public service_fixture {
  protected:
    void limit_connections(long n) { config_->Write(cfg::data_service_max_connections, n); }
    // Connections that have each been answered once, so they are admitted.
    std::vector<std::unique_ptr<tcp_client>> answered_clients(int n) {
        std::vector<std::unique_ptr<tcp_client>> out;
        for (int i = 0; i < n; ++i) {
            out.push_back(std::make_unique<tcp_client>(port_));
            EXPECT_EQ(out.back()->fetch(encode_data_request("", "", 1)), kNoImage);
        }
        return out;
    }
};

}  // namespace

TEST_F(data_service_test, at_the_limit_the_longest_idle_connections_make_room) {
    limit_connections(8);
    start(new img_service(link_));
    auto clients = answered_clients(20);
    // The twelve oldest were closed, one for each newcomer, oldest first.
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(clients[i]->closed_by_peer()) << "connection " << i;
    for (int i = 12; i < 20; ++i)
        EXPECT_EQ(clients[i]->fetch(encode_data_request("", "", 2)), kNoImage) << i;
    // One row for the burst, not one per connection closed.
    EXPECT_EQ(rows_with(evt_log_info, "Data connections at their limit of 8"), 1u);
    // The peer's own rows are limited: 20 connections, a few rows and a summary.
    EXPECT_TRUE(
        wait_for_row(evt_log_info, "more rows \"Incoming connection from\" from 127.0.0.1"));
    EXPECT_LE(rows_with(evt_log_info, "Incoming connection from: 127.0.0.1"), 3u);
    EXPECT_TRUE(texts(evt_log_error).empty());
}

TEST_F(data_service_test, a_connection_answering_a_request_is_not_taken_and_a_newcomer_is_refused) {
    limit_connections(1);
    start(new img_service(link_));
    tcp_client busy(port_);
    // Half a request: the connection is not idle while the rest is awaited.
    const auto request = encode_data_request("", "", 1);
    asio::write(busy.socket, asio::buffer(request.data(), 100));
    ASSERT_TRUE(wait_until([&] { return unread_by_service(port_, busy.socket) == 0; }));
    tcp_client newcomer(port_);
    EXPECT_TRUE(newcomer.closed_by_peer());
    EXPECT_TRUE(wait_for_row(evt_log_error, "refused: all 1 connections are answering requests"));
    asio::write(busy.socket, asio::buffer(request.data() + 100, request.size() - 100));
    EXPECT_EQ(busy.read_reply(), kNoImage);
}

TEST_F(data_service_test, three_hundred_idle_connections_then_a_request_is_answered) {
    start(new img_service(link_));
    std::vector<std::unique_ptr<tcp_client>> idle;
    for (int i = 0; i < 300; ++i)
        idle.push_back(std::make_unique<tcp_client>(port_));
    tcp_client late(port_);
    EXPECT_EQ(late.fetch(encode_data_request("", "", 1)), kNoImage);
    // At most the default limit of 64 connections stayed open on the
    // service's side: the others were closed.
    int open = 0;
    for (auto& c : idle)
        open += c->closed_by_peer(50ms) ? 0 : 1;
    EXPECT_EQ(open, 63);
    EXPECT_EQ(rows_with(evt_log_info, "Data connections at their limit of 64"), 1u);
}

TEST_F(data_service_test, every_connection_has_keepalive) {
    // The service's side is not visible from here; the option is checked on
    // a socket given the same treatment.
    asio::io_context io;
    tcp::socket socket(io);
    socket.open(tcp::v4());
    ASSERT_TRUE(keep_alive(socket, keepalive_timing{7s, 2s, 4}));
    auto option = [&](int level, int name) {
        int value = 0;
        socklen_t size = sizeof value;
        getsockopt(socket.native_handle(), level, name, &value, &size);
        return value;
    };
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), 7);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPINTVL), 2);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPCNT), 4);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_USER_TIMEOUT), 15000);
}

TEST_F(data_service_test, a_port_held_elsewhere_is_listened_on_once_it_is_free) {
    auto taken = std::make_unique<asio::io_context>();
    auto holder = std::make_unique<tcp::acceptor>(*taken, tcp::endpoint(tcp::v4(), port_), true);
    start(new img_service(link_));
    ASSERT_TRUE(wait_for_row(evt_log_error, "in use"));
    holder.reset();
    // The service tries again by itself and then answers.
    tcp_client c(port_, 20s);
    EXPECT_EQ(c.fetch(encode_data_request("", "", 1)), kNoImage);
    EXPECT_EQ(rows_with(evt_log_error, "in use"), 1u);  // reported once, not per attempt
}

TEST_F(data_service_test, a_new_port_setting_is_listened_on_after_the_next_connection) {
    start(new img_service(link_));
    tcp_client first(port_);
    EXPECT_EQ(first.fetch(encode_data_request("", "", 1)), kNoImage);
    const unsigned short next = free_tcp_port();
    link_->with_config([&](wxConfigBase& config) {
        config.Write(cfg::data_service_port, wxString::Format("%u", next));
    });
    EXPECT_FALSE(listening_on(next));
    {
        tcp_client old_port(port_);
        EXPECT_EQ(old_port.fetch(encode_data_request("", "", 1)), kNoImage);
    }
    tcp_client new_port(next);
    EXPECT_EQ(new_port.fetch(encode_data_request("", "", 1)), kNoImage);
}
