// Data access service: serves recorded and live frames as PNG over TCP.
//
// One detached thread for the whole run listens on "data_service_port" and
// moves the bytes of every connection (data_connection); the replies are
// worked out by a small pool of threads, so at most as many requests as the
// pool has threads run at once, however many clients ask. A client may keep
// its connection for any number of requests.
//
// Nothing a peer does ends the service, and its load never takes what the
// recording needs:
// - at most "data_service_max_connections" connections (default 64, read
//   with the port after each accepted connection) are open at once; when a
//   new one comes at the limit, or when taking it would eat into the
//   descriptor reserve (descriptor_reserve), the longest-idle connection is
//   closed to admit it (one journal row per burst), and when none is idle the
//   new one is refused;
// - every connection has TCP keepalive, so a vanished peer's connection ends;
// - a port that cannot be had is reported and tried again every few seconds;
// - a request for a catalogued database is answered with n = 0 while opening
//   one would eat into the descriptor reserve;
// - rows caused by peers are limited per address (journal_limiter).
#pragma once

#include "services/data_connection.h"
#include "services/data_protocol.h"
#include "services/service_thread.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <opencv2/core.hpp>

#include <memory>
#include <string>
#include <vector>

// The reply with an image: its PNG (encode_png) behind its length;
// an empty image gives the four zero bytes of "no image".
std::vector<uint8_t> encode_frame_png(const cv::Mat& image);

class img_service : public service_thread, private data_connection::owner {
  public:
    struct options {
        keepalive_timing keepalive;
        unsigned workers = 0;  // threads that work out replies; 0: one per core, at most 2
    };

    explicit img_service(const app_link_ptr& link) : img_service(link, options{}) {}
    img_service(const app_link_ptr& link, options o);

  private:
    // The reply to one request from `peer`: catalogue lookup when the second
    // part is given, the live database otherwise. A failed lookup is
    // journalled and answered with n = 0. Runs on a worker thread.
    std::vector<uint8_t> reply_to(const data_request& request, const std::string& peer);

    void start() override;
    void close_all() override;

    // Reads the connection limit; returns the port text.
    std::string read_settings();
    // Reads the settings and listens on the port, or tries again later.
    void open_listener();
    void accept();
    // Takes the new connection in, making room at the limit.
    void admit(boost::asio::ip::tcp::socket socket);
    std::shared_ptr<data_connection> longest_idle() const;

    // data_connection::owner
    void request(const std::shared_ptr<data_connection>& connection,
                 const request_bytes& request) override;
    void ended(data_connection& connection, const boost::system::error_code& why) override;

    const options options_;
    std::string port_text_;  // of the listening socket
    size_t max_connections_ = 0;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::steady_timer retry_;
    std::unique_ptr<boost::asio::thread_pool> workers_;
    // Loop thread only.
    std::vector<std::shared_ptr<data_connection>> connections_;
};
