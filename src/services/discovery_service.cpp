#include "services/discovery_service.h"

#include "runtime/configuration.h"
#include "runtime/text_encoding.h"

#include <boost/format.hpp>

#include <algorithm>
#include <memory>

namespace asio = boost::asio;
using asio::ip::udp;

namespace {
constexpr auto kReceivePause = std::chrono::milliseconds(200);  // after a failed receive
constexpr size_t kMaxSendsPending = 16;
}  // namespace

discovery_service::discovery_service(const app_link_ptr& link, unsigned short port)
    : service_thread(link, "Unknown exception in discovery_service", "discovery"),
      socket_(io()),
      pause_(io()) {
    socket_.open(udp::v4());
    socket_.bind(udp::endpoint(udp::v4(), port));
}

void discovery_service::close_all() {
    boost::system::error_code ignored;
    pause_.cancel(ignored);
    socket_.close(ignored);
}

void discovery_service::reset() {
    boost::system::error_code ignored;
    pause_.cancel(ignored);
    socket_.cancel(ignored);
}

void discovery_service::receive() {
    socket_.async_receive_from(
        asio::buffer(area_), sender_,
        [this](const boost::system::error_code& ec, size_t bytes) { handle_receive(ec, bytes); });
}

void discovery_service::handle_receive(const boost::system::error_code& ec, size_t bytes) {
    if (ec == asio::error::operation_aborted) return;
    if (ec) {
        if (begins_burst("discovery receive failure")) {
            link_->post_error("Error in discovery_service::handle_receive.");
            link_->post_error(from_narrow(ec.message()));
        }
        // An error that persists must not spin the loop.
        pause_.expires_after(kReceivePause);
        pause_.async_wait([this](const boost::system::error_code& e) {
            if (!e) receive();
        });
        return;
    }
    const std::string source = sender_.address().to_string();
    try {
        if (bytes > kDiscoveryDatagramSize) {
            throw std::runtime_error("discovery datagram longer than 128 bytes");
        }
        // The text is what this datagram carried, up to its first NUL.
        const auto end = std::find(area_.begin(), area_.begin() + bytes, uint8_t(0));
        answer(std::string(area_.begin(), end), source);
    } catch (const std::exception& e) {
        peer_error("Bad discovery datagram", source, from_narrow(e.what()));
    }
    receive();
}

void discovery_service::answer(const std::string& query, const std::string& source) {
    const std::string side = to_narrow(link_->read_text(cfg::side, cfg::side_default));
    const std::string name = discovery_service_name(from_narrow(side).utf8_string());
    auto answer = discovery_answer(query, name);
    if (!answer) return;
    if (!answer_size_allowed(query.size(), answer->size())) {
        if (begins_burst("discovery answer withheld")) {
            link_->post_info(wxString::Format(
                "Discovery answer of %zu bytes to a query of %zu bytes from %s withheld: answers "
                "are at most %zu bytes and %zu times their query",
                answer->size(), query.size(), source, kMaxAnswerSize, kMaxAnswerGrowth));
        }
        return;
    }
    if (sends_pending_ >= kMaxSendsPending) return;  // the network is slower than the queries
    peer_info("UDP query from", source,
              wxString::FromUTF8((boost::format("UDP query from %1%") % source).str()));
    // The bytes belong to the send until it has completed.
    auto bytes = std::make_shared<std::string>(std::move(*answer));
    ++sends_pending_;
    socket_.async_send_to(asio::buffer(*bytes), sender_,
                          [this, bytes, source](const boost::system::error_code& ec, size_t) {
                              --sends_pending_;
                              if (ec == asio::error::operation_aborted) return;
                              if (ec) {
                                  if (begins_burst("discovery send failure")) {
                                      link_->post_error("Error in discovery_service::handle_send");
                                      link_->post_error(from_narrow(ec.message()));
                                  }
                                  return;
                              }
                              peer_info("UDP answer", source, "UDP answer");
                          });
}
