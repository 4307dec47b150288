#include "recording/coordinate_client.h"

#include "runtime/text_encoding.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>

#include <stdexcept>

coordinate_client::coordinate_client(boost::asio::io_context& io, std::string host,
                                     std::string service, uint32_t period_seconds,
                                     app_link_ptr link, code_handler on_code,
                                     std::chrono::milliseconds reconnect_pause)
    : io_(io),
      host_(std::move(host)),
      service_(std::move(service)),
      period_(period_seconds),
      link_(std::move(link)),
      on_code_(std::move(on_code)),
      reconnect_pause_(reconnect_pause),
      resolver_(io),
      socket_(io),
      period_timer_(io),
      retry_timer_(io),
      query_(coordinate_query()) {}

void coordinate_client::start() {
    if (stopped_) return;
    resolver_.async_resolve(
        host_, service_,
        [this](const boost::system::error_code& ec,
               boost::asio::ip::tcp::resolver::results_type results) {
            if (stopped_) return;
            if (ec) {
                // Journalled once; the name may resolve later (a
                // network that comes up after the station).
                if (!resolve_failed_) link_->post_error("CoordServer resolve error");
                resolve_failed_ = true;
                period_timer_.expires_after(period_);
                period_timer_.async_wait([this](const boost::system::error_code& e) {
                    if (!e) start();
                });
                return;
            }
            resolve_failed_ = false;
            link_->post_info("Coordinate server address resloved.");
            endpoints_ = std::move(results);
            connect();
        });
}

void coordinate_client::stop() {
    stopped_ = true;
    resolver_.cancel();
    period_timer_.cancel();
    retry_timer_.cancel();
    boost::system::error_code ignored;
    socket_.close(ignored);
}

void coordinate_client::connect() {
    if (stopped_) return;
    boost::system::error_code ignored;
    socket_.close(ignored);
    boost::asio::async_connect(socket_, endpoints_,
                               [this](const boost::system::error_code& ec, const auto&) {
                                   if (ec) {
                                       connect_later();
                                       return;
                                   }
                                   link_->post_info("Connect to coordinate server. Ok.");
                                   wait_period();
                               });
}

void coordinate_client::connect_later() {
    if (stopped_) return;
    retry_timer_.expires_after(reconnect_pause_);
    retry_timer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) connect();
    });
}

void coordinate_client::wait_period() {
    if (stopped_) return;
    period_timer_.expires_after(period_);
    period_timer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) send_query();
    });
}

void coordinate_client::send_query() {
    boost::asio::async_write(socket_, boost::asio::buffer(query_),
                             [this](const boost::system::error_code& ec, size_t) {
                                 if (stopped_) return;
                                 if (ec) {
                                     link_->post_error(from_narrow(ec.message()));
                                     connect_later();
                                     return;
                                 }
                                 receive();
                             });
}

void coordinate_client::receive() {
    // Texts of an earlier, longer answer must not pass for this one's.
    answer_.fill(0);
    socket_.async_read_some(boost::asio::buffer(answer_),
                            [this](const boost::system::error_code& ec, size_t) {
                                if (stopped_) return;
                                if (ec) {
                                    link_->post_error(from_narrow(ec.message()));
                                    connect_later();
                                    return;
                                }
                                const std::string code = session_code_of_answer(answer_);
                                if (!code.empty()) on_code_(code);
                                wait_period();
                            });
}
