// Asks the coordinate server for the session code, once a period, on the
// write thread's I/O loop: resolve, connect, wait a period, send the 64-byte
// query, receive the answer, and again from the wait.
//
// A name that does not resolve is journalled once ("CoordServer resolve
// error") and resolved again every period, while the recording goes on.
// Connections that fail are retried after a pause, so an unreachable server
// costs no busy loop; a failed receive or send is journalled and the client
// reconnects. Owned by the write thread and used only on its loop; destroy
// it before its io_context.
#pragma once

#include "runtime/app_link.h"
#include "recording/coordinate_protocol.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/system_timer.hpp>

#include <chrono>
#include <functional>
#include <string>

class coordinate_client {
  public:
    using code_handler = std::function<void(const std::string&)>;

    coordinate_client(boost::asio::io_context& io, std::string host, std::string service,
                      uint32_t period_seconds, app_link_ptr link, code_handler on_code,
                      std::chrono::milliseconds reconnect_pause = std::chrono::seconds(1));

    void start();
    // Abandons whatever step is pending; no session code comes after it.
    void stop();

  private:
    void connect();
    void connect_later();
    void wait_period();
    void send_query();
    void receive();

    boost::asio::io_context& io_;
    std::string host_;
    std::string service_;
    std::chrono::seconds period_;
    app_link_ptr link_;
    code_handler on_code_;
    std::chrono::milliseconds reconnect_pause_;
    boost::asio::ip::tcp::resolver resolver_;
    boost::asio::ip::tcp::resolver::results_type endpoints_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::system_timer period_timer_;
    boost::asio::steady_timer retry_timer_;
    coordinate_query_bytes query_;
    coordinate_answer_bytes answer_{};
    bool resolve_failed_ = false;  // journalled, until a resolve succeeds
    bool stopped_ = false;
};
