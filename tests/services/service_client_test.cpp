// The client's side of the services against real services and against
// peers that are not stations, on 127.0.0.1; and the command-line client
// refusing what does not fit.
#include "database/coverage_report.h"
#include "database/ldb_writer.h"
#include "services/img_service.h"
#include "services/rc_service.h"
#include "services/service_client.h"
#include "services/service_fixture.h"
#include "support/sample_db.h"
#include "support/station_process.h"
#include "support/test_home.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace asio = boost::asio;
using asio::ip::tcp;
using namespace std::chrono_literals;

namespace {

// A peer that accepts one connection and answers its first 1024 bytes
// with `reply` (or nothing at all), then keeps the connection open.
class scripted_peer {
  public:
    explicit scripted_peer(std::string reply, bool answer = true)
        : acceptor_(io_, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0)) {
        thread_ = std::thread([this, reply = std::move(reply), answer] {
            boost::system::error_code ec;
            acceptor_.accept(socket_, ec);
            if (ec) return;
            std::array<uint8_t, 1024> request{};
            asio::read(socket_, asio::buffer(request), ec);
            if (!ec && answer) asio::write(socket_, asio::buffer(reply), ec);
            uint8_t byte;
            socket_.read_some(asio::buffer(&byte, 1), ec);  // until the client goes
        });
    }
    ~scripted_peer() {
        boost::system::error_code ignored;
        acceptor_.close(ignored);
        thread_.join();
    }
    std::string port() const { return std::to_string(acceptor_.local_endpoint().port()); }

  private:
    asio::io_context io_;
    tcp::acceptor acceptor_;
    tcp::socket socket_{io_};
    std::thread thread_;
};

const client_timeouts kShort{2000ms, 1000ms};

class service_client_test : public service_fixture {};

}  // namespace

TEST_F(service_client_test, a_reply_length_beyond_any_frame_is_refused) {
    // An unrelated server's first bytes read as a length of about 1.35 GB.
    scripted_peer web("HTTP/1.1 400 Bad Request\r\n\r\n");
    service_client client("127.0.0.1", web.port(), kShort);
    try {
        client.fetch(encode_data_request("A", "B", 1));
        FAIL() << "a length of 1 GB was believed";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("reply length 1347703880 is above the maximum of "
                                             "268435456 bytes"),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(service_client_test, a_silent_peer_times_out) {
    scripted_peer silent("", false);
    service_client client("127.0.0.1", silent.port(), kShort);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_THROW(client.fetch(encode_data_request("A", "B", 1)), std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 30s);
}

TEST_F(service_client_test, a_short_reply_or_a_wrong_acknowledgement_is_an_error) {
    {
        scripted_peer short_reply(std::string("\x10\x00\x00\x00png", 7));
        service_client client("127.0.0.1", short_reply.port(), kShort);
        EXPECT_THROW(client.fetch(encode_data_request("A", "B", 1)), std::runtime_error);
    }
    scripted_peer wrong(std::string(1024, 'x'));
    service_client client("127.0.0.1", wrong.port(), kShort);
    EXPECT_THROW(client.command(encode_rc_command(1)), std::runtime_error);
}

TEST_F(service_client_test, nothing_listening_is_an_error_at_once) {
    EXPECT_THROW(service_client("127.0.0.1", std::to_string(free_tcp_port()), kShort),
                 std::runtime_error);
}

TEST_F(service_client_test, the_real_services_answer) {
    start(new img_service(link_));
    { tcp_client listening(port_); }
    service_client data("127.0.0.1", std::to_string(port_), kShort);
    EXPECT_TRUE(data.fetch(encode_data_request("", "", 1)).empty());     // n = 0: nothing recorded
    EXPECT_FALSE(data.fetch(encode_data_request("A", "B", 1)).empty());  // the not-found image
}

TEST_F(service_client_test, the_remote_control_acknowledges) {
    start(new rc_service(link_));
    std::unique_ptr<service_client> rc;
    ASSERT_TRUE(wait_until([&] {
        try {
            rc = std::make_unique<service_client>("127.0.0.1", std::to_string(port_), kShort);
            return true;
        } catch (const std::runtime_error&) {
            return false;
        }
    }));
    rc->command(encode_rc_command(2));
    EXPECT_TRUE(wait_until([&] { return !texts(evt_rc_command).empty(); }));
}

TEST(checked_field, a_part_too_long_for_its_field_is_refused_with_the_field_size) {
    EXPECT_EQ(checked_field("--first", std::string(19, 'a'), 20), std::string(19, 'a'));
    try {
        checked_field("--first", std::string(20, 'a'), 20);
        FAIL() << "a part of 20 bytes fits no field of 20";
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(),
                     "--first is 20 bytes long; its field of 20 bytes holds at most 19 and the "
                     "NUL that ends it");
    }
}

TEST(undercam_client, refuses_an_over_long_part_and_says_the_field_size) {
    const std::string out =
        shell_output(std::string(UNDERCAM_CLIENT) +
                     " fetch --host 127.0.0.1 --port 1 --second 0123456789abcdefXYZ --value 1 "
                     "--out /dev/null 2>&1; echo status $?");
    EXPECT_NE(out.find("--second is 19 bytes long; its field of 16 bytes holds at most 15"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("status 1"), std::string::npos) << out;
}

TEST(undercam_client, prints_a_databases_gaps_and_refuses_one_being_recorded) {
    test_home home;
    const std::string db = home.path() + "/db";
    make_database(db, {100, 105, 110, 130, 135, 140, 170}, "A : B", "left");
    const std::string out =
        shell_output(std::string(UNDERCAM_CLIENT) + " coverage --db '" + db + "' 2>&1");
    EXPECT_EQ(out, coverage_table(coverage_of({100, 105, 110, 130, 135, 140, 170})));

    // Held open by a recording (this process): refused at once as in use.
    ldb_writer& live = ldb_writer::live();
    live.open(home.path() + "/live");
    const std::string refused = shell_output(std::string(UNDERCAM_CLIENT) + " coverage --db '" +
                                             home.path() + "/live" + "' 2>&1; echo status $?");
    live.close("", "");
    EXPECT_NE(refused.find("the database is in use"), std::string::npos) << refused;
    EXPECT_NE(refused.find("status 1"), std::string::npos) << refused;
}
