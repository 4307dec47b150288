// Discovery service: answers JSON queries on UDP (port 12800) with the
// station's service name ("undercam_left" or "undercam_right", from "side",
// read for every datagram). One detached thread for the whole run.
//
// The socket is bound at construction, so a port that cannot be had fails
// the construction. Nothing a sender does ends the service:
// - each datagram is parsed from the bytes it carried; a bad or oversized one
//   is reported (rows limited per sender) and receiving goes on;
// - an answer longer than 512 bytes or than 4 times its query is not sent
//   (one row per burst), so the station amplifies nothing;
// - every answer's bytes live until its send has completed, and at most a
//   few sends are pending at once;
// - after a receive error the service pauses briefly before the next receive.
#pragma once

#include "services/discovery_protocol.h"
#include "services/service_thread.h"

#include <boost/asio/ip/udp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <array>
#include <string>

class discovery_service : public service_thread {
  public:
    explicit discovery_service(const app_link_ptr& link, unsigned short port = kDiscoveryPort);

  private:
    void start() override { receive(); }
    void close_all() override;
    // The socket stays bound over a restart; only what is pending goes.
    void reset() override;

    void receive();
    void handle_receive(const boost::system::error_code& ec, size_t bytes);
    void answer(const std::string& query, const std::string& source);

    boost::asio::ip::udp::socket socket_;
    boost::asio::ip::udp::endpoint sender_;
    // One byte more than a query may have, to tell an oversized datagram.
    std::array<uint8_t, kDiscoveryDatagramSize + 1> area_{};
    boost::asio::steady_timer pause_;
    size_t sends_pending_ = 0;  // loop thread only
};
