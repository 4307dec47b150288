#include "services/discovery_service.h"

#include "runtime/configuration.h"
#include "runtime/text_encoding.h"

#include <boost/format.hpp>

namespace asio = boost::asio;
using asio::ip::udp;

discovery_service::discovery_service(const app_link_ptr& link, unsigned short port)
    : service_thread(link), socket_(io()) {
    socket_.open(udp::v4());
    socket_.bind(udp::endpoint(udp::v4(), port));
}

wxThread::ExitCode discovery_service::Entry() {
    mark_started();
    const ExitCode result =
        run_loop([this] { receive(); }, "Unknown exception in discovery_service");
    boost::system::error_code ignored;
    socket_.close(ignored);
    mark_ended();
    return result;
}

void discovery_service::receive() {
    try {
        socket_.async_receive_from(asio::buffer(area_), sender_,
                                   [this](const boost::system::error_code& ec, size_t bytes) {
                                       handle_receive(ec, bytes);
                                   });
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
    }
}

void discovery_service::handle_receive(const boost::system::error_code& ec, size_t bytes) {
    if (ec) {
        link_->post_error("Error in discovery_service::handle_receive.");
        link_->post_error(from_narrow(ec.message()));
        if (ec == asio::error::operation_aborted) return;
        receive();
        return;
    }
    try {
        if (bytes > kDiscoveryDatagramSize) {
            throw std::runtime_error("discovery datagram longer than 128 bytes");
        }
        const std::string side = to_narrow(link_->read_text(cfg::side, cfg::side_default));
        const std::string name = discovery_service_name(from_narrow(side).utf8_string());
        // The text is what this datagram carried, up to its first NUL.
        const auto end = std::find(area_.begin(), area_.begin() + bytes, uint8_t(0));
        const std::string query(area_.begin(), end);
        if (auto answer = discovery_answer(query, name)) {
            link_->post_info(wxString::FromUTF8(
                (boost::format("UDP query from %1%") % sender_.address().to_string()).str()));
            answer_ = std::move(*answer);
            socket_.async_send_to(
                asio::buffer(answer_), sender_,
                [this](const boost::system::error_code& e, size_t) { handle_send(e); });
        }
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
    }
    receive();
}

void discovery_service::handle_send(const boost::system::error_code& ec) {
    if (ec) {
        link_->post_error("Error in discovery_service::handle_send");
        link_->post_error(from_narrow(ec.message()));
        return;
    }
    link_->post_info("UDP answer");
}
