// Data access service: serves recorded and live frames as PNG over TCP.
//
// An instance listens on "data_service_port" (read at construction); when it
// accepts a connection it hands its listening socket over to a fresh instance
// that listens for the next one (so no client that connects meanwhile is
// reset; the fresh instance binds anew only when the port setting changed),
// and serves its connection: exactly 1024 bytes of
// request, then the reply of encode_frame_png (or four zero bytes), again and
// again until the client closes. Every instance is a detached thread that
// deletes itself when done and reports "Connection closed".
#pragma once

#include "services/data_protocol.h"
#include "services/service_thread.h"

#include <boost/asio/ip/tcp.hpp>
#include <opencv2/core.hpp>
#include <boost/asio/steady_timer.hpp>

#include <string>
#include <vector>

// The reply with an image: its PNG (encode_png) behind its length;
// an empty image gives the four zero bytes of "no image".
std::vector<uint8_t> encode_frame_png(const cv::Mat& image);

class img_service : public service_thread {
  public:
    explicit img_service(const app_link_ptr& link);
    // A successor taking over a listening socket bound to `port`.
    img_service(const app_link_ptr& link, int listening, unsigned short port);
    ~img_service() override;

    // The reply to one request: catalogue lookup when the second part is
    // given, the live database otherwise. Failures of the lookup are
    // reported through `link` and answered with n = 0.
    static std::vector<uint8_t> reply_to(const data_request& request, app_link& link);

  protected:
    ExitCode Entry() override;

  private:
    void accept();
    void read_request();
    void close_sockets();

    std::string port_text_;
    int inherited_ = -1;  // listening socket handed over, or -1
    unsigned short inherited_port_ = 0;
    boost::asio::ip::tcp::acceptor acceptor_;
    boost::asio::ip::tcp::socket socket_;
    boost::asio::steady_timer retry_;
    request_bytes request_{};
    std::vector<uint8_t> reply_;
};
