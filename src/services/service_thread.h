// Base of the detached service threads: each has an I/O loop of its own and
// ends when the loop runs out of work, or when the main window goes, since
// the link then stops every service that still runs and waits (briefly) for
// its sockets to be closed, so nothing of it outlives the window.
#pragma once

#include "runtime/app_link.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <wx/thread.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// A port text as the services bind it: an unsigned decimal number's low 16
// bits. Throws for text that is not a decimal number.
unsigned short service_port(const std::string& text);

class service_thread : public wxThread {
  public:
    // The loop and its end, shared with the link's stop request, which may
    // come after this object has deleted itself.
    struct loop_state : stoppable {
        boost::asio::io_context io;
        std::mutex guard;
        std::condition_variable ended_cv;
        bool started = false;  // guarded by guard: Entry has begun
        bool ended = false;    // guarded by guard: the sockets are closed
        void stop() override;
    };

  protected:
    explicit service_thread(const app_link_ptr& link);

    boost::asio::io_context& io() { return state_->io; }
    // Called first in Entry, and at its end once every socket is closed.
    void mark_started();
    void mark_ended();

    // Runs start() and then the loop until it has no more work; an error that
    // escapes is journalled (`unknown_text` for one that carries no text).
    ExitCode run_loop(const std::function<void()>& start, const char* unknown_text);

    // Opens, binds to the IPv4 any-address and listens. Address reuse is on,
    // so a restart is not kept out by connections of the last run.
    static void listen(boost::asio::ip::tcp::acceptor& acceptor, unsigned short port);

    // Accepts one connection into `socket`, then runs `accepted`. A failure
    // is journalled and the accept tried again shortly: a passing failure (no
    // descriptors left, a connection reset before it was taken) must not end
    // the service for the rest of the run.
    void accept_into(boost::asio::ip::tcp::acceptor& acceptor, boost::asio::ip::tcp::socket& socket,
                     boost::asio::steady_timer& retry, std::function<void()> accepted);

    app_link_ptr link_;
    std::shared_ptr<loop_state> state_;
};
