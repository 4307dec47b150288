#include "services/data_connection.h"

#include <boost/asio/write.hpp>

namespace asio = boost::asio;

data_connection::data_connection(asio::ip::tcp::socket socket, std::string peer, owner& owner)
    : socket_(std::move(socket)), peer_(std::move(peer)), owner_(owner) {}

void data_connection::start() {
    read();
}

void data_connection::read() {
    socket_.async_read_some(
        asio::buffer(request_.data() + received_, request_.size() - received_),
        [self = shared_from_this()](const boost::system::error_code& ec, size_t bytes) {
            if (self->closed_) return;
            if (ec) {
                self->end(ec);
                return;
            }
            self->last_activity_ = clock::now();
            self->received_ += bytes;
            if (self->received_ < self->request_.size()) {
                self->read();
                return;
            }
            self->busy_ = true;
            self->owner_.request(self, self->request_);
        });
}

void data_connection::answer(std::vector<uint8_t> reply) {
    if (closed_) return;
    reply_ = std::move(reply);
    asio::async_write(socket_, asio::buffer(reply_),
                      [self = shared_from_this()](const boost::system::error_code& ec, size_t) {
                          if (self->closed_) return;
                          if (ec) {
                              self->end(ec);
                              return;
                          }
                          self->busy_ = false;
                          self->received_ = 0;
                          self->last_activity_ = clock::now();
                          self->read();
                      });
}

void data_connection::close() {
    end({});
}

void data_connection::end(const boost::system::error_code& why) {
    if (closed_) return;
    closed_ = true;
    boost::system::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    owner_.ended(*this, why);
}
