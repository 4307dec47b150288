#include "services/service_client.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <stdexcept>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

std::string milliseconds(std::chrono::milliseconds d) {
    return std::to_string(d.count()) + " ms";
}

}  // namespace

service_client::service_client(const std::string& host, const std::string& port,
                               client_timeouts timeouts)
    : socket_(io_), timeouts_(timeouts), peer_(host + ":" + port) {
    tcp::resolver resolver(io_);
    const auto endpoints = resolver.resolve(host, port);
    boost::system::error_code ec = asio::error::would_block;
    asio::async_connect(socket_, endpoints,
                        [&](const boost::system::error_code& e, const tcp::endpoint&) { ec = e; });
    io_.run_for(timeouts_.connect);
    if (ec == asio::error::would_block) {
        throw std::runtime_error("connecting to " + peer_ + " timed out after " +
                                 milliseconds(timeouts_.connect));
    }
    if (ec) throw std::runtime_error("connecting to " + peer_ + ": " + ec.message());
}

void service_client::finish(boost::system::error_code& ec, const char* what) {
    io_.restart();
    io_.run_for(timeouts_.io);
    if (ec == asio::error::would_block) {
        boost::system::error_code ignored;
        socket_.close(ignored);
        throw std::runtime_error(std::string(what) + " " + peer_ + " timed out after " +
                                 milliseconds(timeouts_.io));
    }
    if (ec == asio::error::eof) {
        throw std::runtime_error(peer_ + " closed the connection before its reply was whole");
    }
    if (ec) throw std::runtime_error(std::string(what) + " " + peer_ + ": " + ec.message());
}

void service_client::exchange(const void* out, size_t out_size, void* in, size_t in_size) {
    boost::system::error_code ec = asio::error::would_block;
    asio::async_write(socket_, asio::buffer(out, out_size),
                      [&](const boost::system::error_code& e, size_t) { ec = e; });
    finish(ec, "sending to");
    read(in, in_size);
}

void service_client::read(void* in, size_t size) {
    boost::system::error_code ec = asio::error::would_block;
    asio::async_read(socket_, asio::buffer(in, size),
                     [&](const boost::system::error_code& e, size_t) { ec = e; });
    finish(ec, "waiting for the reply of");
}

std::vector<uint8_t> service_client::fetch(const request_bytes& request) {
    uint8_t header[kReplyHeaderSize];
    exchange(request.data(), request.size(), header, sizeof header);
    const uint32_t n = reply_length(header);
    if (n > kMaxReplyLength) {
        throw std::runtime_error("reply length " + std::to_string(n) + " is above the maximum of " +
                                 std::to_string(kMaxReplyLength) + " bytes: " + peer_ +
                                 " is not a station's data access service");
    }
    std::vector<uint8_t> png(n);
    if (n > 0) read(png.data(), n);
    return png;
}

void service_client::command(const command_bytes& command) {
    command_bytes reply{};
    exchange(command.data(), command.size(), reply.data(), reply.size());
    if (reply != kCommandReply) {
        throw std::runtime_error("the acknowledgement from " + peer_ +
                                 " is not 1024 zero bytes: not a station's remote control");
    }
}

std::string checked_field(const std::string& option, const std::string& text, size_t field_size) {
    if (text.size() < field_size) return text;
    throw std::invalid_argument(option + " is " + std::to_string(text.size()) +
                                " bytes long; its field of " + std::to_string(field_size) +
                                " bytes holds at most " + std::to_string(field_size - 1) +
                                " and the NUL that ends it");
}
