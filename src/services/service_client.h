// The client's side of the data access and remote control services, for
// programs that ask a station (the command-line client, tests): blocking
// exchanges, each connect and each read or write bounded in time, and every
// reply checked before it is believed, so a wrong or silent peer gives a
// clear error instead of a hang or a huge allocation.
//
// One object is one connection; use it from one thread at a time.
#pragma once

#include "services/data_protocol.h"
#include "services/rc_protocol.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

struct client_timeouts {
    std::chrono::milliseconds connect{5000};
    std::chrono::milliseconds io{30000};  // each request, each reply
};

// No frame comes near it; a larger length is a peer that is not a station.
constexpr uint32_t kMaxReplyLength = 256u << 20;

class service_client {
  public:
    // Connects to the first address of host and port that accepts; throws
    // std::runtime_error when none does in time.
    service_client(const std::string& host, const std::string& port, client_timeouts timeouts);

    // The PNG answering a data request; empty for n = 0. Throws for a length
    // above kMaxReplyLength, a connection that ends early, or a timeout.
    std::vector<uint8_t> fetch(const request_bytes& request);

    // Sends a remote command and waits for its acknowledgement, 1024 zero
    // bytes; throws for anything else, an early end, or a timeout.
    void command(const command_bytes& command);

  private:
    void exchange(const void* out, size_t out_size, void* in, size_t in_size);
    void read(void* in, size_t size);
    // Runs the loop until the operation in progress ends, or throws.
    void finish(boost::system::error_code& ec, const char* what);

    boost::asio::io_context io_;
    boost::asio::ip::tcp::socket socket_;
    client_timeouts timeouts_;
    std::string peer_;
};

// The text given for a session part (option `option`, as the user named it),
// refused with std::invalid_argument when it does not fit its field of
// `field_size` bytes together with the NUL that ends it.
std::string checked_field(const std::string& option, const std::string& text, size_t field_size);
