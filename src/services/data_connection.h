// One connection of the data access service: requests of exactly 1024 bytes
// (in as many pieces as they come), each answered whole before the next one
// is read, until the peer closes or the service closes the connection.
//
// Runs on its service's loop thread only. The service holds it by shared
// pointer, and so do its pending handlers: a connection the service closed
// stays valid until its cancelled operations have completed, and from the
// moment it is closed it calls its owner no more.
#pragma once

#include "services/data_protocol.h"

#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

class data_connection : public std::enable_shared_from_this<data_connection> {
  public:
    using clock = std::chrono::steady_clock;

    // What a connection needs from the service that accepted it; called on
    // the service's loop.
    class owner {
      public:
        virtual ~owner() = default;
        // A whole request came: the owner works out the reply (elsewhere if
        // it likes) and hands it to answer() on the loop.
        virtual void request(const std::shared_ptr<data_connection>& connection,
                             const request_bytes& request) = 0;
        // The connection has ended: closed by the peer (`why` is eof), failed
        // (`why` tells how), or closed by the owner (`why` is empty).
        virtual void ended(data_connection& connection, const boost::system::error_code& why) = 0;
    };

    data_connection(boost::asio::ip::tcp::socket socket, std::string peer, owner& owner);

    // Begins reading the first request.
    void start();
    // Sends the reply to the request in hand, then reads the next request.
    void answer(std::vector<uint8_t> reply);
    // Closes the connection from the service's side.
    void close();

    const std::string& peer() const { return peer_; }
    // Waiting for a request of which nothing has come yet.
    bool idle() const { return !closed_ && !busy_ && received_ == 0; }
    // When a byte last came from the peer or a reply last went out.
    clock::time_point last_activity() const { return last_activity_; }

  private:
    void read();
    void end(const boost::system::error_code& why);

    boost::asio::ip::tcp::socket socket_;
    const std::string peer_;
    owner& owner_;
    request_bytes request_{};
    size_t received_ = 0;  // bytes of the request in hand
    std::vector<uint8_t> reply_;
    bool busy_ = false;  // a request is being answered
    bool closed_ = false;
    clock::time_point last_activity_ = clock::now();
};
