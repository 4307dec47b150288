// Remote control against clients that reset, vanish, fall silent or flood,
// on real sockets of 127.0.0.1: each ends its own connection, never the
// service.
#include "services/rc_service.h"
#include "services/service_fixture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

namespace {

class rc_service_test : public service_fixture {
  protected:
    // One command and its acknowledgement.
    static void command(tcp_client& c, int code) {
        asio::write(c.socket, asio::buffer(encode_rc_command(code)));
        command_bytes reply{};
        asio::read(c.socket, asio::buffer(reply));
        EXPECT_EQ(reply, kCommandReply);
    }
    size_t commands_received() {
        window_.drain();
        return std::count_if(window_.events.begin(), window_.events.end(),
                             [](const recorded_event& e) { return e.type == evt_rc_command; });
    }
    // A client that closes with a reset instead of an orderly end.
    static void reset(tcp_client& c) {
        c.socket.set_option(asio::socket_base::linger(true, 0));
        c.socket.close();
    }
};

}  // namespace

TEST_F(rc_service_test, a_reset_connection_ends_and_the_next_client_is_served) {
    start(new rc_service(link_));
    {
        tcp_client first(port_);
        command(first, 1);
        reset(first);
    }
    tcp_client next(port_);
    command(next, 2);
    EXPECT_EQ(commands_received(), 2u);
    EXPECT_TRUE(wait_for_row(evt_log_info, "Connection reset by peer"));
    EXPECT_EQ(rows_with(evt_log_info, "RC connection closed"), 1u);
}

TEST_F(rc_service_test, a_client_that_leaves_its_reply_unread_ends_only_itself) {
    start(new rc_service(link_));
    {
        tcp_client first(port_);
        asio::write(first.socket, asio::buffer(encode_rc_command(1)));
        ASSERT_TRUE(wait_until([&] { return commands_received() == 1; }));
        // Closing with the reply unread resets the connection.
    }
    tcp_client next(port_);
    command(next, 0);
    EXPECT_EQ(commands_received(), 2u);
}

TEST_F(rc_service_test, a_vanished_client_is_found_by_keepalive) {
    rc_service::options o;
    o.keepalive = {1s, 1s, 2};
    o.holder_silence = std::chrono::hours(1);  // only keepalive may free the slot
    start(new rc_service(link_, o));
    tcp_client gone(port_);
    command(gone, 1);
    // Repair mode lets a socket close without a word to its peer, as a
    // client does whose power or cable is lost: the service keeps a
    // half-open connection.
    const int on = 1;
    if (setsockopt(gone.socket.native_handle(), IPPROTO_TCP, TCP_REPAIR, &on, sizeof on) != 0) {
        GTEST_SKIP() << "TCP_REPAIR is not permitted here (it needs CAP_NET_ADMIN)";
    }
    gone.socket.close();
    // Keepalive's probe finds nobody; the slot is free and the next client is served.
    tcp_client next(port_, 30s);
    command(next, 2);
    EXPECT_EQ(commands_received(), 2u);
    EXPECT_EQ(rows_with(evt_log_info, "RC connection closed"), 1u);
}

TEST_F(rc_service_test, a_half_open_holder_gives_way_to_a_waiting_client_after_the_timeout) {
    rc_service::options o;
    o.holder_silence = 2s;  // keepalive keeps its default of a minute and more
    start(new rc_service(link_, o));
    tcp_client gone(port_);
    command(gone, 1);
    const int on = 1;
    if (setsockopt(gone.socket.native_handle(), IPPROTO_TCP, TCP_REPAIR, &on, sizeof on) != 0) {
        GTEST_SKIP() << "TCP_REPAIR is not permitted here (it needs CAP_NET_ADMIN)";
    }
    gone.socket.close();  // without a word: the service's side stays open
    tcp_client waiting(port_, 20s);
    command(waiting, 2);
    EXPECT_EQ(commands_received(), 2u);
    EXPECT_EQ(rows_with(evt_log_info, " s: closed for 127.0.0.1"), 1u);
}

TEST_F(rc_service_test, a_silent_holder_gives_way_to_a_waiting_client) {
    rc_service::options o;
    o.holder_silence = 3s;
    start(new rc_service(link_, o));
    tcp_client holder(port_);
    command(holder, 1);
    // Refused while the holder is not yet silent...
    EXPECT_FALSE(listening_on(port_));
    {
        asio::io_context io;
        tcp::socket early(io);
        boost::system::error_code ec;
        early.connect({asio::ip::make_address("127.0.0.1"), port_}, ec);
        EXPECT_TRUE(ec);
    }
    // ...and served once it is; the holder is closed.
    tcp_client waiting(port_, 20s);
    command(waiting, 2);
    EXPECT_TRUE(holder.closed_by_peer());
    EXPECT_EQ(commands_received(), 2u);
    const auto rows = texts(evt_log_info);
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                            [](const wxString& r) {
                                return r.StartsWith("RC client 127.0.0.1 silent for ") &&
                                       r.EndsWith(" s: closed for 127.0.0.1");
                            }),
              1);
}

TEST_F(rc_service_test, a_holder_that_speaks_again_keeps_the_others_out) {
    rc_service::options o;
    o.holder_silence = 1s;
    start(new rc_service(link_, o));
    tcp_client holder(port_);
    command(holder, 1);
    ASSERT_TRUE(wait_until([&] { return listening_on(port_); }));  // silent: others may come
    command(holder, 1);
    EXPECT_TRUE(wait_until([&] { return !listening_on(port_); }));
    asio::io_context io;
    tcp::socket refused(io);
    boost::system::error_code ec;
    refused.connect({asio::ip::make_address("127.0.0.1"), port_}, ec);
    EXPECT_TRUE(ec);
    command(holder, 2);  // the holder is served on
}

TEST_F(rc_service_test, commands_beyond_the_rate_wait_in_the_connection) {
    rc_service::options o;
    o.commands_per_second = 10;
    start(new rc_service(link_, o));
    tcp_client c(port_);
    std::vector<uint8_t> burst;
    for (int i = 0; i < 30; ++i) {
        const auto one = encode_rc_command(0);
        burst.insert(burst.end(), one.begin(), one.end());
    }
    const auto begin = std::chrono::steady_clock::now();
    asio::write(c.socket, asio::buffer(burst));
    std::vector<uint8_t> replies(30 * kCommandSize);
    asio::read(c.socket, asio::buffer(replies));
    // Thirty at ten a second take two seconds at the least, and none is lost.
    EXPECT_GE(std::chrono::steady_clock::now() - begin, 1900ms);
    EXPECT_TRUE(std::all_of(replies.begin(), replies.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(commands_received(), 30u);
}

TEST_F(rc_service_test, a_port_held_elsewhere_is_listened_on_once_it_is_free) {
    auto io = std::make_unique<asio::io_context>();
    auto holder = std::make_unique<tcp::acceptor>(*io, tcp::endpoint(tcp::v4(), port_), true);
    start(new rc_service(link_));
    ASSERT_TRUE(wait_for_row(evt_log_error, "in use"));
    holder.reset();
    tcp_client c(port_, 20s);
    command(c, 1);
    EXPECT_EQ(rows_with(evt_log_error, "in use"), 1u);
}
