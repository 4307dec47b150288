// Remote control service: one client at a time sends 1024-byte commands over
// TCP; each is handed to the main window as evt_rc_command and acknowledged
// with 1024 zero bytes. While a client is connected nothing listens; when it
// closes, a fresh instance (reading "rc_service_port" anew) listens again.
// Detached threads that delete themselves and report "RC connection closed".
#pragma once

#include "services/rc_protocol.h"
#include "services/service_thread.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <string>

class rc_service : public service_thread {
  public:
    explicit rc_service(const app_link_ptr& link);
    ~rc_service() override;

  protected:
    ExitCode Entry() override;

  private:
    void accept();
    void read_command();
    void listen_again();

    std::string port_text_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer retry_;
    command_bytes command_{};
    bool successor_ = false;
};
