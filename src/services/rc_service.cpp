#include "services/rc_service.h"

#include "runtime/configuration.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_events.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {
constexpr auto kPaceWindow = std::chrono::seconds(1);
}  // namespace

rc_service::rc_service(const app_link_ptr& link, options o)
    : service_thread(link, "Unknown exception in rc_service", "remote control"),
      options_(o),
      acceptor_(io()),
      holder_(io()),
      retry_(io()),
      silence_(io()),
      pace_(io()) {}

void rc_service::start() {
    open_listener();
}

void rc_service::close_all() {
    close_listener();
    drop_holder();
}

void rc_service::open_listener() {
    if (acceptor_.is_open()) return;
    // A holder that is not silent keeps the others out.
    if (holder_.is_open() && clock::now() - last_command_ < options_.holder_silence) return;
    const std::string port =
        to_narrow(link_->read_text(cfg::rc_service_port, cfg::rc_service_port_default));
    if (listen_or_retry(acceptor_, port, retry_, [this] { open_listener(); })) accept();
}

void rc_service::close_listener() {
    boost::system::error_code ignored;
    retry_.cancel();
    acceptor_.close(ignored);
}

void rc_service::accept() {
    acceptor_.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (ec) {
            retry_accept("RC accept failure", ec, retry_, [this] {
                if (acceptor_.is_open()) accept();
            });
            return;
        }
        hold(std::move(socket));
    });
}

void rc_service::hold(tcp::socket socket) {
    boost::system::error_code ec;
    const std::string peer = socket.remote_endpoint(ec).address().to_string();
    if (holder_.is_open()) {
        link_->post_info(wxString::Format(
            "RC client %s silent for %lld s: closed for %s", holder_peer_,
            static_cast<long long>(
                std::chrono::duration_cast<std::chrono::seconds>(clock::now() - last_command_)
                    .count()),
            peer));
        drop_holder();
    }
    peer_info("Incoming RC connection from", peer,
              wxString::Format("Incoming RC connection from: %s", peer));
    close_listener();  // one client at a time
    holder_ = std::move(socket);
    holder_peer_ = peer;
    holder_.set_option(tcp::no_delay(true), ec);
    keep_alive(holder_, options_.keepalive);
    last_command_ = clock::now();
    recent_.clear();
    read_command();
    watch_silence();
}

void rc_service::read_command() {
    const auto now = clock::now();
    while (!recent_.empty() && now - recent_.front() >= kPaceWindow)
        recent_.pop_front();
    if (recent_.size() >= options_.commands_per_second) {
        pace_.expires_at(recent_.front() + kPaceWindow);
        pace_.async_wait([this](const boost::system::error_code& ec) {
            if (!ec && holder_.is_open()) read_command();
        });
        return;
    }
    recent_.push_back(now);
    // A command is exactly 1024 bytes, however many pieces it comes in.
    asio::async_read(
        holder_, asio::buffer(command_), [this](const boost::system::error_code& ec, size_t) {
            if (ec == asio::error::operation_aborted) return;
            if (ec == asio::error::eof) {
                release();  // the client left
                return;
            }
            if (ec) {
                peer_info("RC receive failure", holder_peer_, from_narrow(ec.message()));
                release();
                return;
            }
            take_command();
        });
}

void rc_service::take_command() {
    last_command_ = clock::now();
    close_listener();  // the holder is not silent any more
    watch_silence();
    const rc_command command = parse_rc_command(command_);
    wxThreadEvent event(evt_rc_command, wxID_ANY);
    event.SetInt(command.code);
    event.SetString(from_narrow(command.session_code()));
    link_->post(event);
    asio::async_write(
        holder_, asio::buffer(kCommandReply), [this](const boost::system::error_code& ec, size_t) {
            if (ec == asio::error::operation_aborted) return;
            if (ec) {
                peer_error("RC send failure", holder_peer_, from_narrow(ec.message()));
                release();
                return;
            }
            read_command();
        });
}

void rc_service::drop_holder() {
    if (holder_.is_open()) {
        boost::system::error_code ignored;
        holder_.shutdown(tcp::socket::shutdown_both, ignored);
        holder_.close(ignored);
        peer_info("RC connection closed", holder_peer_, "RC connection closed");
    }
    silence_.cancel();
    pace_.cancel();
}

void rc_service::release() {
    drop_holder();
    open_listener();
}

void rc_service::watch_silence() {
    silence_.expires_at(last_command_ + options_.holder_silence);
    silence_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec && holder_.is_open() && !acceptor_.is_open()) open_listener();
    });
}
