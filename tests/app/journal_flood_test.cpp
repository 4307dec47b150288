// The main window in process under a flood from the network: bad discovery
// datagrams and data connections by the hundred leave a few journal rows,
// and the window answers at once afterwards.
#include "app/undercam_frame.h"
#include "camera/sdk/jai_sim.h"
#include "runtime/configuration.h"
#include "services/data_protocol.h"
#include "services/discovery_protocol.h"
#include "support/gui_helpers.h"
#include "support/station_process.h"
#include "support/station_setup.h"

#include <boost/asio.hpp>
#include <gtest/gtest.h>
#include <wx/fileconf.h>
#include <wx/utils.h>

#include <chrono>
#include <optional>

namespace asio = boost::asio;
using namespace std::chrono_literals;

namespace {

class journal_flood_test : public testing::Test {
  protected:
    void SetUp() override {
        jai_sim::reset();
        jai_sim::set_cameras({});
        {
            asio::io_context io;
            asio::ip::tcp::acceptor a(io, {asio::ip::make_address("127.0.0.1"), 0});
            data_port_ = a.local_endpoint().port();
        }
        write_station_configuration(wxGetHomeDir().ToStdString(), [&](wxConfigBase& config) {
            config.Write(cfg::data_service_port, wxString::Format("%u", data_port_));
        });
        frame_ = new undercam_frame();
        frame_->Show();
        pump_events(200);
    }
    void TearDown() override {
        frame_->Destroy();
        pump_events(100);
        jai_sim::reset();
    }

    // How long the window takes to get to something asked of it now.
    std::chrono::milliseconds answer_time() {
        bool answered = false;
        const auto begin = std::chrono::steady_clock::now();
        frame_->CallAfter([&] { answered = true; });
        EXPECT_TRUE(pump_until([&] { return answered; }, 60000));
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - begin);
    }

    // Journal rows of this run whose text contains `part`.
    static size_t journal_rows_with(const std::wstring& part) {
        std::string newest;
        for (const auto& f : journal_files(wxGetHomeDir().ToStdString()))
            newest = std::max(newest, f);
        const std::wstring journal = read_journal(newest);
        size_t n = 0;
        for (size_t at = journal.find(part); at != std::wstring::npos;
             at = journal.find(part, at + 1))
            ++n;
        return n;
    }

    undercam_frame* frame_ = nullptr;
    unsigned short data_port_ = 0;
};

}  // namespace

TEST_F(journal_flood_test, ten_thousand_bad_datagrams_leave_the_window_answering) {
    asio::io_context io;
    asio::ip::udp::socket socket(io, {asio::ip::make_address("127.0.0.1"), 0});
    const asio::ip::udp::endpoint station(asio::ip::make_address("127.0.0.1"), kDiscoveryPort);
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i)
        socket.send_to(asio::buffer(std::string(R"({"type":"query",)")), station);
    // Discovery still answers...
    std::optional<std::string> answer;
    ASSERT_TRUE(pump_until(
        [&] {
            socket.send_to(asio::buffer(std::string(R"({"type":"query","service":"any"})")),
                           station);
            std::array<char, 512> bytes{};
            asio::ip::udp::endpoint from;
            socket.async_receive_from(asio::buffer(bytes), from, [&](auto ec, size_t n) {
                if (!ec) answer = std::string(bytes.data(), n);
            });
            io.restart();
            io.run_for(100ms);
            if (!answer) socket.cancel();
            io.restart();
            io.poll();
            return answer.has_value();
        },
        60000));
    // ...and the window, having taken every row, answers at once.
    EXPECT_LT(answer_time(), 5s);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - begin)
            .count();
    // A few rows a second and their summaries, not one row a datagram.
    EXPECT_TRUE(pump_until([&] {
        return journal_rows_with(L"more rows \"Bad discovery datagram\" from 127.0.0.1") > 0;
    }));
    EXPECT_LE(journal_rows_with(L"<font color='red'>"), static_cast<size_t>(4 * (seconds + 3)));
    EXPECT_NE(answer->find("undercam_left"), std::string::npos);
}

TEST_F(journal_flood_test, three_hundred_data_connections_leave_the_window_answering) {
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 300; ++i) {
        asio::io_context io;
        asio::ip::tcp::socket s(io);
        ASSERT_TRUE(pump_until(
            [&] {
                boost::system::error_code ec;
                s.connect({asio::ip::make_address("127.0.0.1"), data_port_}, ec);
                if (ec) s.close();
                return !ec;
            },
            10000));
    }
    EXPECT_LT(answer_time(), 5s);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - begin)
            .count();
    EXPECT_TRUE(pump_until([&] {
        return journal_rows_with(L"more rows \"Incoming connection from\" from 127.0.0.1") > 0;
    }));
    EXPECT_LE(journal_rows_with(L"Incoming connection from: 127.0.0.1"),
              static_cast<size_t>(3 * (seconds + 2)));
}
