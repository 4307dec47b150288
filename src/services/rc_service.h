// Remote control service: one client at a time sends 1024-byte commands over
// TCP; each is handed to the main window as evt_rc_command and acknowledged
// with 1024 zero bytes. One detached thread for the whole run.
//
// While a client holds the connection, nothing listens, so others are
// refused; when it leaves, the port ("rc_service_port", read anew) is
// listened on again. Nothing a client does ends the service:
// - a receive or send error ends that connection only;
// - TCP keepalive ends the connection of a client that vanished;
// - a holder that has sent nothing for `holder_silence` (30 s) no longer
//   keeps others out: the port is listened on again, and a client that comes
//   then takes the slot (the silent holder is closed);
// - commands are taken at most `commands_per_second` a second; more wait in
//   the connection, so no client floods the window with events;
// - a port that cannot be had is reported and tried again every few seconds.
#pragma once

#include "services/rc_protocol.h"
#include "services/service_thread.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <deque>
#include <string>

class rc_service : public service_thread {
  public:
    struct options {
        keepalive_timing keepalive;
        std::chrono::milliseconds holder_silence = std::chrono::seconds(30);
        unsigned commands_per_second = 20;
    };

    explicit rc_service(const app_link_ptr& link) : rc_service(link, options{}) {}
    rc_service(const app_link_ptr& link, options o);

  private:
    using clock = std::chrono::steady_clock;

    void start() override;
    void close_all() override;

    // Reads the port setting and listens, or tries again later.
    void open_listener();
    void close_listener();
    void accept();
    // The new client takes the slot.
    void hold(boost::asio::ip::tcp::socket socket);
    void read_command();
    void take_command();
    // The holder's connection ends ("RC connection closed").
    void drop_holder();
    // ... and the port is listened on again.
    void release();
    // Listens for another client once the holder has been silent long enough.
    void watch_silence();

    const options options_;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::ip::tcp::socket holder_;
    std::string holder_peer_;
    boost::asio::steady_timer retry_;
    boost::asio::steady_timer silence_;
    boost::asio::steady_timer pace_;
    command_bytes command_{};
    clock::time_point last_command_;
    std::deque<clock::time_point> recent_;  // times of the commands of the last second
};
