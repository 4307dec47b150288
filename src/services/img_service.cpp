#include "services/img_service.h"

#include "database/frame_lookup.h"
#include "database/ldb_writer.h"
#include "database/shared_store.h"
#include "recording/frame_pipeline.h"
#include "runtime/configuration.h"
#include "runtime/text_encoding.h"
#include "runtime/thread_priority.h"
#include "services/descriptor_reserve.h"
#include "runtime/thread_name.h"

#include <boost/asio/post.hpp>

#include <algorithm>
#include <thread>

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {
// Opening a catalogued database takes its lock, log and descriptor files.
constexpr size_t kStoreDescriptors = 8;
constexpr long kMaxConnectionsCeiling = 4096;
// A reply waits at most this long for the recording's encoders to catch up.
constexpr auto kYieldLimit = std::chrono::seconds(1);
constexpr auto kYieldPoll = std::chrono::milliseconds(2);

// The recording first. Running below it is not enough: a reply's decoding
// and encoding fill the caches and the network stack works for it at full
// priority, which slowed encoders already short of time. So a reply starts
// only once no encoder has a frame, or after kYieldLimit: at a rate that
// keeps every encoder busy, replies come about once a second each.
void yield_to_recording() {
    const auto until = std::chrono::steady_clock::now() + kYieldLimit;
    while (!frame_pipeline::encoders_idle() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(kYieldPoll);
}

unsigned worker_count(unsigned wanted) {
    if (wanted > 0) return wanted;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
}
}  // namespace

std::vector<uint8_t> encode_frame_png(const cv::Mat& image) {
    return frame_reply(encode_png(image));
}

img_service::img_service(const app_link_ptr& link, options o)
    : service_thread(link, "Unknown exception in img_service", "data service"),
      options_(o),
      acceptor_(io()),
      retry_(io()) {}

std::vector<uint8_t> img_service::reply_to(const data_request& request, const std::string& peer) {
    std::vector<uint8_t> png;
    if (!request.second.empty() && !descriptor_reserve::allows(kStoreDescriptors)) {
        shared_store::release_idle();
        if (!descriptor_reserve::allows(kStoreDescriptors)) {
            peer_error("Data request refused", peer,
                       "Data request refused: the file descriptors kept for the recording "
                       "would be needed to open its database");
            return frame_reply({});
        }
    }
    yield_to_recording();
    // Both cores for the deflating only while no encoder has a frame.
    const int threads =
        frame_pipeline::encoders_idle() && std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    try {
        if (!request.second.empty()) {
            png = catalogue_frame_png(request.session_code(), request.value, threads);
        } else if (ldb_writer::live().is_open()) {
            png = live_frame_png(request.value, threads);
        }
    } catch (const std::exception& e) {
        peer_error("Data request failure", peer, from_narrow(e.what()));
        png.clear();
    }
    return frame_reply(png);
}

void img_service::start() {
    // Frames for clients are decoded and encoded below the recording; the
    // workers inherit the service thread's priority.
    run_below_recording();
    workers_ = std::make_unique<asio::thread_pool>(worker_count(options_.workers));
    open_listener();
}

void img_service::close_all() {
    boost::system::error_code ignored;
    retry_.cancel(ignored);
    acceptor_.close(ignored);
    auto open = std::move(connections_);
    connections_.clear();
    for (auto& c : open)
        c->close();
    if (workers_) {
        // Requests not yet begun are dropped; those running are waited for.
        workers_->stop();
        workers_->join();
        workers_.reset();
    }
}

std::string img_service::read_settings() {
    max_connections_ =
        static_cast<size_t>(std::clamp(link_->read_long(cfg::data_service_max_connections,
                                                        cfg::data_service_max_connections_default),
                                       1L, kMaxConnectionsCeiling));
    return to_narrow(link_->read_text(cfg::data_service_port, cfg::data_service_port_default));
}

void img_service::open_listener() {
    port_text_ = read_settings();
    if (listen_or_retry(acceptor_, port_text_, retry_, [this] { open_listener(); })) accept();
}

void img_service::accept() {
    acceptor_.async_accept([this](const boost::system::error_code& ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted) return;
        if (ec) {
            retry_accept("Data service accept failure", ec, retry_, [this] { accept(); });
            return;
        }
        admit(std::move(socket));
        // The settings are read anew after each accepted connection; a new
        // port is listened on from now.
        if (read_settings() != port_text_) {
            boost::system::error_code ignored;
            acceptor_.close(ignored);
            open_listener();
            return;
        }
        accept();
    });
}

void img_service::admit(tcp::socket socket) {
    boost::system::error_code ec;
    const std::string peer = socket.remote_endpoint(ec).address().to_string();
    peer_info("Incoming connection from", peer,
              wxString::Format("Incoming connection from: %s", peer));
    socket.set_option(tcp::no_delay(true), ec);  // replies go out whole at once
    keep_alive(socket, options_.keepalive);

    const bool at_limit = connections_.size() >= max_connections_;
    if (at_limit || !descriptor_reserve::allows(0)) {
        const auto oldest = longest_idle();
        if (!oldest) {
            peer_error("Data connection refused", peer,
                       wxString::Format("Data connection from %s refused: all %zu connections "
                                        "are answering requests",
                                        peer, connections_.size()));
            socket.close(ec);
            return;
        }
        if (begins_burst("Data connections at their limit")) {
            link_->post_info(
                at_limit ? wxString::Format("Data connections at their limit of %zu: the "
                                            "longest idle one is closed for each new one",
                                            max_connections_)
                         : wxString::Format("File descriptors kept for the recording reached at "
                                            "%zu data connections: the longest idle one is "
                                            "closed for each new one",
                                            connections_.size()));
        }
        oldest->close();
    }
    auto connection = std::make_shared<data_connection>(
        std::move(socket), peer, static_cast<data_connection::owner&>(*this));
    connections_.push_back(connection);
    connection->start();
}

std::shared_ptr<data_connection> img_service::longest_idle() const {
    std::shared_ptr<data_connection> oldest;
    for (const auto& c : connections_) {
        if (c->idle() && (!oldest || c->last_activity() < oldest->last_activity())) oldest = c;
    }
    return oldest;
}

void img_service::request(const std::shared_ptr<data_connection>& connection,
                          const request_bytes& bytes) {
    asio::post(*workers_, [this, connection, request = parse_data_request(bytes)] {
        name_this_thread("data replies");
        auto reply = reply_to(request, connection->peer());
        asio::post(io(), [connection, reply = std::move(reply)]() mutable {
            connection->answer(std::move(reply));
        });
    });
}

void img_service::ended(data_connection& connection, const boost::system::error_code& why) {
    std::erase_if(connections_, [&](const auto& c) { return c.get() == &connection; });
    if (why && why != asio::error::eof) {
        peer_error("Data connection error", connection.peer(), from_narrow(why.message()));
    }
    peer_info("Connection closed", connection.peer(), "Connection closed");
}
