#include "services/rc_service.h"

#include "runtime/configuration.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

rc_service::rc_service(const app_link_ptr& link)
    : service_thread(link),
      port_text_(to_narrow(link->read_text(cfg::rc_service_port, cfg::rc_service_port_default))),
      acceptor_(io()),
      socket_(io()),
      retry_(io()) {}

rc_service::~rc_service() {
    link_->post_info("RC connection closed");
}

wxThread::ExitCode rc_service::Entry() {
    mark_started();
    const ExitCode result = run_loop(
        [this] {
            listen(acceptor_, service_port(port_text_));
            accept();
        },
        "Unknown exception in rc_service");
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    socket_.close(ignored);
    mark_ended();
    if (successor_) listen_again();
    return result;
}

void rc_service::listen_again() {
    auto* next = new rc_service(link_);
    if (next->Run() != wxTHREAD_NO_ERROR) {
        delete next;
        link_->post_error("Unknown exception in rc_service");
    }
}

void rc_service::accept() {
    accept_into(acceptor_, socket_, retry_, [this] {
        boost::system::error_code ignored;
        const auto peer = socket_.remote_endpoint(ignored);
        link_->post_info(
            wxString::Format("Incoming RC connection from: %s", peer.address().to_string()));
        acceptor_.close(ignored);  // one client at a time
        read_command();
    });
}

void rc_service::read_command() {
    // A command is exactly 1024 bytes, however many pieces it comes in.
    asio::async_read(socket_, asio::buffer(command_),
                     [this](const boost::system::error_code& ec, size_t) {
                         if (ec == asio::error::eof) {
                             // The client closed, possibly in the middle of a command: the
                             // port is listened on again once this connection is gone.
                             successor_ = true;
                             return;
                         }
                         if (ec) {
                             link_->post_info(from_narrow(ec.message()));
                             return;
                         }
                         const rc_command command = parse_rc_command(command_);
                         wxThreadEvent event(evt_rc_command, wxID_ANY);
                         event.SetInt(command.code);
                         event.SetString(from_narrow(command.session_code()));
                         link_->post(event);
                         asio::async_write(socket_, asio::buffer(kCommandReply),
                                           [this](const boost::system::error_code& e, size_t) {
                                               if (e) {
                                                   link_->post_error(from_narrow(e.message()));
                                                   return;
                                               }
                                               read_command();
                                           });
                     });
}
