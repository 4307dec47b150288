// Base of the network services: each is a joinable thread (run through
// worker_threads) with an I/O loop of its own that runs for as long as the
// main window lives. Nothing a peer does ends a service: a handler that
// throws, or a loop that runs out of work, is journalled, everything is
// closed, and after a pause the service starts again. Only the link's detach
// (the window going) ends it: the link stops the loop and waits (briefly)
// until every socket is closed, and the window then joins the thread, so
// nothing of the service outlives the window.
//
// Derived classes implement start() (open their sockets and begin their
// handler chains) and close_all(); both run on the service's own thread.
// Handlers must ignore operation_aborted: after a restart the cancelled
// operations of the last round complete with it.
//
// Rows that peers cause go through peer_info()/peer_error(), which limit them
// per kind and source (journal_limiter); summaries of what was left out are
// posted once a second.
#pragma once

#include "runtime/app_link.h"
#include "services/journal_limiter.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <wx/thread.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

// A port text as the services bind it: an unsigned decimal number's low 16
// bits. Throws for text that is not a decimal number.
unsigned short service_port(const std::string& text);

// TCP keepalive timings: a peer that vanished without closing (power lost,
// cable pulled) is found after idle + interval * probes.
struct keepalive_timing {
    std::chrono::seconds idle{60};      // silence before the first probe
    std::chrono::seconds interval{10};  // between unanswered probes
    int probes = 3;                     // unanswered probes that end the connection
};

// Turns keepalive on for the socket with these timings; false if refused.
bool keep_alive(boost::asio::ip::tcp::socket& socket, const keepalive_timing& timing);

class service_thread : public wxThread {
  public:
    // The loop and its end, shared with the link's stop request, which may
    // come after this object has deleted itself.
    struct loop_state : stoppable {
        boost::asio::io_context io;
        std::mutex guard;
        std::condition_variable changed;
        // State below is protected by guard.
        bool started = false;   // Entry has begun
        bool stopping = false;  // the window is going: end for good
        bool ended = false;     // every socket is closed
        void stop() override;
        // Waits for `pause` unless the service is stopping; false when it is.
        bool pause(std::chrono::milliseconds pause);
        bool stop_requested();
    };

  protected:
    // `unknown_text` is journalled for a failure that carries no text.
    // `thread_name`: how the system shows the thread (thread_name.h).
    service_thread(const app_link_ptr& link, const char* unknown_text,
                   const char* thread_name = "service");

    virtual void start() = 0;
    virtual void close_all() = 0;
    // Before a restart; closes everything unless a service keeps something.
    virtual void reset() { close_all(); }

    boost::asio::io_context& io() { return state_->io; }

    // A journal row a peer caused (source: its address, or "" for the
    // service's own failures), posted unless its kind and source have had
    // their share.
    void peer_info(const std::string& kind, const std::string& source, const wxString& text);
    void peer_error(const std::string& kind, const std::string& source, const wxString& text);
    // Whether an event of this kind begins a burst (none in the 10 s before):
    // the row for a burst is posted once, at its start.
    bool begins_burst(const std::string& kind);

    // Opens, binds to the IPv4 any-address and listens on the port text's
    // port. Address reuse is on, so a restart is not kept out by connections
    // of the last run. A port that cannot be had is journalled (once, until
    // it is had or another failure comes) and `again` runs a few seconds
    // later; false then.
    bool listen_or_retry(boost::asio::ip::tcp::acceptor& acceptor, const std::string& port_text,
                         boost::asio::steady_timer& retry, std::function<void()> again);
    // After a failed accept (no descriptor left, a peer that reset before it
    // was taken): journals it as `kind` and runs `again` shortly.
    void retry_accept(const std::string& kind, const boost::system::error_code& ec,
                      boost::asio::steady_timer& retry, std::function<void()> again);

    const char* thread_name_;
    app_link_ptr link_;
    std::shared_ptr<loop_state> state_;

  private:
    ExitCode Entry() final;
    void flush_rows();

    const char* unknown_text_;
    journal_limiter rows_;
    boost::asio::steady_timer flush_timer_;
    std::string last_listen_failure_;  // loop thread only
};
