// The three services on real sockets of 127.0.0.1.
#include "runtime/app_link.h"
#include "database/catalogue.h"
#include "runtime/configuration.h"
#include "services/discovery_service.h"
#include "support/event_recorder.h"
#include "database/frame_lookup.h"
#include "services/img_service.h"
#include "database/ldb_reader.h"
#include "database/ldb_writer.h"
#include "services/rc_service.h"
#include "services/service_fixture.h"
#include "support/sample_db.h"
#include "support/wait.h"

#include <boost/asio.hpp>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <mutex>
#include <thread>

namespace asio = boost::asio;
using asio::ip::tcp;
using asio::ip::udp;
using namespace std::chrono_literals;

namespace {

cv::Mat decode(const std::vector<uint8_t>& reply) {
    return cv::imdecode(std::vector<uint8_t>(reply.begin() + 4, reply.end()), cv::IMREAD_UNCHANGED);
}

class services_test : public service_fixture {
  protected:
    void add_database(const std::string& path) {
        ldb_reader reader(path);
        catalogue::instance().append({reader.read_info(), path});
    }
};

using client = tcp_client;

}  // namespace

TEST_F(services_test, catalogue_frames_are_found_at_or_after_the_value) {
    make_database(home_ / "db", {100, 105, 110}, "A : B", "left");
    add_database(home_ / "db");
    start(new img_service(link_));
    client c(port_);
    const auto at105 = c.fetch(encode_data_request("A", "B", 105));
    const auto at103 =
        c.fetch(encode_data_request("A", "B", 103));  // same connection, next request
    EXPECT_EQ(at105, at103);
    const cv::Mat image = decode(at105);
    ASSERT_FALSE(image.empty());
    EXPECT_NEAR(cv::mean(image)[0], sample_brightness(105), 1.0);
    ldb_reader reader(home_ / "db");
    cv::Mat direct;
    reader.frame_at(105, direct);
    // The pixels the window's own encoding gives (the bytes may differ).
    const cv::Mat expected = decode(encode_frame_png(direct));
    ASSERT_EQ(expected.size(), image.size());
    ASSERT_EQ(expected.type(), image.type());
    EXPECT_EQ(cv::norm(expected, image, cv::NORM_INF), 0);

    // An unknown session gets the not-found picture, never n = 0.
    const auto unknown = c.fetch(encode_data_request("a", "b", 105));
    EXPECT_GT(unknown.size(), 4u);
    EXPECT_EQ(decode(unknown).size(), cv::Size(640, 480));
    EXPECT_NE(texts(evt_log_info).front().Find("Incoming connection from: 127.0.0.1"), wxNOT_FOUND);
}

TEST_F(services_test, live_requests_without_a_recording_get_four_zero_bytes) {
    start(new img_service(link_));
    client c(port_);
    EXPECT_EQ(c.fetch(encode_data_request("A", "", 100)), (std::vector<uint8_t>{0, 0, 0, 0}));

    ldb_writer& live = ldb_writer::live();
    live.open(home_ / "live");
    live.put_frame(sample_frame(200), 200);
    const cv::Mat frame = decode(c.fetch(encode_data_request("", "", 150)));
    EXPECT_NEAR(cv::mean(frame)[0], sample_brightness(200), 1.0);
    const cv::Mat missing = decode(c.fetch(encode_data_request("", "", 201)));
    EXPECT_EQ(missing.size(), cv::Size(640, 480));
    live.close("", "");
}

TEST_F(services_test, a_request_in_pieces_is_one_request_and_clients_are_served_in_parallel) {
    make_database(home_ / "db", {100}, "A : B", "left");
    add_database(home_ / "db");
    start(new img_service(link_));
    client first(port_);
    client second(port_);  // the next instance serves it while the first stays connected
    const auto request = encode_data_request("A", "B", 100);
    asio::write(first.socket, asio::buffer(request.data(), 10));
    std::this_thread::sleep_for(50ms);
    EXPECT_GT(second.fetch(request).size(), 4u);
    asio::write(first.socket, asio::buffer(request.data() + 10, request.size() - 10));
    const auto reply = first.read_reply();
    EXPECT_EQ(reply, second.fetch(request));
    // Exactly one reply to the pieces: nothing more is waiting.
    first.socket.non_blocking(true);
    uint8_t extra;
    boost::system::error_code ec;
    first.socket.read_some(asio::buffer(&extra, 1), ec);
    EXPECT_EQ(ec, asio::error::would_block);
    EXPECT_TRUE(texts(evt_log_error).empty());
}

TEST_F(services_test, a_client_that_leaves_in_mid_request_is_just_a_closed_connection) {
    start(new img_service(link_));
    {
        client c(port_);
        const auto request = encode_data_request("A", "", 1);
        asio::write(c.socket, asio::buffer(request.data(), 100));
    }
    client next(port_);
    EXPECT_EQ(next.fetch(encode_data_request("A", "", 1)).size(), 4u);
    EXPECT_TRUE(wait_until([&] {
        const auto info = texts(evt_log_info);
        return std::find(info.begin(), info.end(), "Connection closed") != info.end();
    }));
    EXPECT_TRUE(texts(evt_log_error).empty());
}

TEST_F(services_test, remote_commands_are_queued_and_acknowledged_one_client_at_a_time) {
    start(new rc_service(link_));
    auto first = std::make_unique<client>(port_);
    const command_bytes zeros{};
    command_bytes reply{};
    for (int code : {1, 3, 0}) {
        asio::write(first->socket, asio::buffer(encode_rc_command(code, "A", "B")));
        asio::read(first->socket, asio::buffer(reply));
        EXPECT_EQ(reply, zeros);
    }
    // A command in pieces is one command.
    const auto two = encode_rc_command(2);
    asio::write(first->socket, asio::buffer(two.data(), 3));
    std::this_thread::sleep_for(30ms);
    asio::write(first->socket, asio::buffer(two.data() + 3, two.size() - 3));
    asio::read(first->socket, asio::buffer(reply));
    window_.drain();
    std::vector<std::pair<int, wxString>> commands;
    for (const auto& e : window_.events) {
        if (e.type == evt_rc_command) commands.emplace_back(e.value, e.text);
    }
    EXPECT_EQ(commands, (std::vector<std::pair<int, wxString>>{
                            {1, "A : B"}, {3, "A : B"}, {0, "A : B"}, {2, ""}}));

    // Nothing listens while the first client is connected.
    asio::io_context io;
    tcp::socket refused(io);
    boost::system::error_code ec;
    refused.connect({asio::ip::make_address("127.0.0.1"), port_}, ec);
    EXPECT_TRUE(ec);
    first.reset();  // it leaves: the service listens again
    client second(port_);
    asio::write(second.socket, asio::buffer(encode_rc_command(1)));
    asio::read(second.socket, asio::buffer(reply));
    EXPECT_EQ(reply, zeros);
    const auto info = texts(evt_log_info);
    EXPECT_NE(std::find(info.begin(), info.end(), "RC connection closed"), info.end());
}

TEST_F(services_test, a_port_in_use_is_reported) {
    asio::io_context io;
    tcp::acceptor taken(io, tcp::endpoint(tcp::v4(), port_));
    start(new img_service(link_));
    ASSERT_TRUE(wait_until([&] { return !texts(evt_log_error).empty(); }));
    ASSERT_EQ(texts(evt_log_error).size(), 1u);
    EXPECT_NE(texts(evt_log_error)[0].Find("in use"), wxNOT_FOUND);
}

TEST_F(services_test, discovery_answers_its_own_name_and_survives_bad_datagrams) {
    config_->Write(cfg::side, wxString(L"правый"));
    const unsigned short port = free_udp_port();
    start(new discovery_service(link_, port));
    udp_client c;
    EXPECT_EQ(c.ask(R"({"type":"query","service":"any"})", port),
              "{\n    \"type\": \"answer\",\n    \"service\": \"undercam_right\"\n}\n");
    EXPECT_FALSE(c.ask(R"({"type":"query","service":"undercam_left"})", port));
    EXPECT_FALSE(c.ask(R"({"type":"query",)", port));         // not JSON
    EXPECT_FALSE(c.ask(std::string(200, ' ') + "{}", port));  // oversized
    // A short query after a long one is read from its own bytes only.
    EXPECT_TRUE(c.ask(R"({"id":"a long member","type":"query","service":"any"})", port));
    EXPECT_TRUE(c.ask(R"({"type":"query","service":"any"})", port));
    config_->Write(cfg::side, wxString(L"левый"));
    EXPECT_NE(c.ask(R"({"type":"query","service":"any"})", port)->find("undercam_left"),
              std::string::npos);
    std::this_thread::sleep_for(50ms);
    const auto info = texts(evt_log_info);
    EXPECT_NE(std::find(info.begin(), info.end(), "UDP query from 127.0.0.1"), info.end());
    EXPECT_NE(std::find(info.begin(), info.end(), "UDP answer"), info.end());
    EXPECT_EQ(texts(evt_log_error).size(), 2u);  // the bad JSON and the oversized datagram
}

TEST_F(services_test, detaching_the_window_stops_the_services_and_frees_their_ports) {
    const unsigned short port = free_udp_port();
    start(new discovery_service(link_, port));
    start(new img_service(link_));
    client c(port_);
    link_->detach();
    // Both ports can be had again at once.
    asio::io_context io;
    boost::system::error_code ec;
    udp::socket udp_again(io);
    udp_again.open(udp::v4());
    udp_again.bind(udp::endpoint(udp::v4(), port), ec);
    EXPECT_FALSE(ec) << ec.message();
    window_.drain();
    const size_t before = window_.events.size();
    std::this_thread::sleep_for(100ms);
    window_.drain();
    EXPECT_EQ(window_.events.size(), before);  // nothing more arrives once detached
}

TEST_F(services_test, parallel_clients_of_one_database_all_get_its_frame) {
    make_database(home_ / "db", {100}, "A : B", "left");
    add_database(home_ / "db");
    start(new img_service(link_));
    const auto expected = client(port_).fetch(encode_data_request("A", "B", 100));
    ASSERT_GT(expected.size(), 4u);
    std::atomic<int> same{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&] {
            client c(port_);
            for (int i = 0; i < 5; ++i) {
                if (c.fetch(encode_data_request("A", "B", 100)) == expected) ++same;
            }
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(same.load(), 20);
    EXPECT_TRUE(texts(evt_log_error).empty());
}
