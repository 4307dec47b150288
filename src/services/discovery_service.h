// Discovery service: answers JSON queries on UDP (port 12800) with the
// station's service name ("undercam_left" or "undercam_right", from "side",
// read for every datagram). One detached thread for the whole run.
//
// The socket is bound at construction, so a port that cannot be had fails
// the construction. Each datagram is parsed from the bytes it carried; a bad
// or oversized one is reported and receiving goes on.
#pragma once

#include "services/discovery_protocol.h"
#include "services/service_thread.h"

#include <boost/asio/ip/udp.hpp>

#include <string>
#include <vector>

class discovery_service : public service_thread {
  public:
    discovery_service(const app_link_ptr& link, unsigned short port = kDiscoveryPort);

    void handle_receive(const boost::system::error_code& ec, size_t bytes);
    void handle_send(const boost::system::error_code& ec);

  protected:
    ExitCode Entry() override;

  private:
    void receive();

    boost::asio::ip::udp::socket socket_;
    boost::asio::ip::udp::endpoint sender_;
    // One byte more than a query may have, to tell an oversized datagram.
    std::array<uint8_t, kDiscoveryDatagramSize + 1> area_{};
    std::string answer_;
};
