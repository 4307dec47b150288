#include "services/img_service.h"

#include "runtime/configuration.h"
#include "database/frame_lookup.h"
#include "database/ldb_writer.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_priority.h"

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <unistd.h>

namespace asio = boost::asio;
using asio::ip::tcp;

img_service::img_service(const app_link_ptr& link)
    : service_thread(link),
      port_text_(
          to_narrow(link->read_text(cfg::data_service_port, cfg::data_service_port_default))),
      acceptor_(io()),
      socket_(io()),
      retry_(io()) {}

img_service::img_service(const app_link_ptr& link, int listening, unsigned short port)
    : img_service(link) {
    inherited_ = listening;
    inherited_port_ = port;
}

img_service::~img_service() {
    link_->post_info("Connection closed");
}

std::vector<uint8_t> encode_frame_png(const cv::Mat& image) {
    return frame_reply(encode_png(image));
}

std::vector<uint8_t> img_service::reply_to(const data_request& request, app_link& link) {
    std::vector<uint8_t> png;
    try {
        if (!request.second.empty()) {
            png = catalogue_frame_png(request.session_code(), request.value);
        } else if (ldb_writer::live().is_open()) {
            png = live_frame_png(request.value);
        }
    } catch (const std::exception& e) {
        link.post_error(from_narrow(e.what()));
        png.clear();
    }
    return frame_reply(png);
}

wxThread::ExitCode img_service::Entry() {
    // Frames for clients are decoded and encoded below the recording.
    run_below_recording();
    mark_started();
    const ExitCode result = run_loop(
        [this] {
            const unsigned short port = service_port(port_text_);
            if (inherited_ >= 0 && inherited_port_ == port) {
                acceptor_.assign(tcp::v4(), inherited_);
            } else {
                if (inherited_ >= 0) ::close(inherited_);
                listen(acceptor_, port);
            }
            inherited_ = -1;
            accept();
        },
        "Unknown exception in img_service");
    close_sockets();
    mark_ended();
    return result;
}

void img_service::close_sockets() {
    if (inherited_ >= 0) ::close(inherited_);
    inherited_ = -1;
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    socket_.close(ignored);
}

void img_service::accept() {
    accept_into(acceptor_, socket_, retry_, [this] {
        boost::system::error_code ignored;
        const auto peer = socket_.remote_endpoint(ignored);
        link_->post_info(
            wxString::Format("Incoming connection from: %s", peer.address().to_string()));
        // The listening socket goes on to the next instance as it is, so no
        // client that connects meanwhile is turned away.
        const unsigned short port = acceptor_.local_endpoint(ignored).port();
        const int listening = acceptor_.release(ignored);
        read_request();
        auto* next = new img_service(link_, listening, port);
        if (next->Run() != wxTHREAD_NO_ERROR) {
            delete next;
            ::close(listening);
            link_->post_error("Unknown exception in img_service");
        }
    });
}

void img_service::read_request() {
    // A request is exactly 1024 bytes, however many pieces it comes in.
    asio::async_read(socket_, asio::buffer(request_),
                     [this](const boost::system::error_code& ec, size_t) {
                         if (ec) {
                             // The client closed (or sent part of a request and closed).
                             if (ec != asio::error::eof)
                                 link_->post_error(from_narrow(ec.message()));
                             return;
                         }
                         reply_ = reply_to(parse_data_request(request_), *link_);
                         asio::async_write(socket_, asio::buffer(reply_),
                                           [this](const boost::system::error_code& e, size_t) {
                                               if (e) {
                                                   link_->post_error(from_narrow(e.message()));
                                                   return;
                                               }
                                               read_request();
                                           });
                     });
}
