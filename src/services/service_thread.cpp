#include "services/service_thread.h"

#include "runtime/text_encoding.h"

#include <boost/lexical_cast.hpp>

#include <chrono>

namespace {
constexpr auto kStopWait = std::chrono::seconds(2);  // for a stopped loop to close its sockets
constexpr auto kAcceptRetry = std::chrono::milliseconds(200);  // after a failed accept
}  // namespace

unsigned short service_port(const std::string& text) {
    return static_cast<unsigned short>(boost::lexical_cast<unsigned long>(text) & 0xFFFF);
}

void service_thread::loop_state::stop() {
    io.stop();
    std::unique_lock<std::mutex> lock(guard);
    ended_cv.wait_for(lock, kStopWait, [this] { return ended || !started; });
}

service_thread::service_thread(const app_link_ptr& link)
    : wxThread(wxTHREAD_DETACHED), link_(link), state_(std::make_shared<loop_state>()) {
    link_->stop_at_detach(state_);
}

void service_thread::mark_started() {
    std::lock_guard<std::mutex> lock(state_->guard);
    state_->started = true;
}

void service_thread::mark_ended() {
    std::lock_guard<std::mutex> lock(state_->guard);
    state_->ended = true;
    state_->ended_cv.notify_all();
}

wxThread::ExitCode service_thread::run_loop(const std::function<void()>& start,
                                            const char* unknown_text) {
    try {
        start();
        io().run();
        return 0;
    } catch (const std::exception& e) {
        link_->post_error(from_narrow(e.what()));
    } catch (...) {
        link_->post_error(unknown_text);
    }
    return reinterpret_cast<ExitCode>(-1);
}

void service_thread::listen(boost::asio::ip::tcp::acceptor& acceptor, unsigned short port) {
    using boost::asio::ip::tcp;
    const tcp::endpoint endpoint(tcp::v4(), port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(tcp::acceptor::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
}

void service_thread::accept_into(boost::asio::ip::tcp::acceptor& acceptor,
                                 boost::asio::ip::tcp::socket& socket,
                                 boost::asio::steady_timer& retry, std::function<void()> accepted) {
    acceptor.async_accept(
        socket, [this, &acceptor, &socket, &retry, accepted](const boost::system::error_code& ec) {
            if (!ec) {
                // Replies go out whole at once, not held for the peer's delayed acknowledgement.
                boost::system::error_code ignored;
                socket.set_option(boost::asio::ip::tcp::no_delay(true), ignored);
                accepted();
                return;
            }
            link_->post_error(from_narrow(ec.message()));
            retry.expires_after(kAcceptRetry);
            retry.async_wait(
                [this, &acceptor, &socket, &retry, accepted](const boost::system::error_code& e) {
                    if (!e) accept_into(acceptor, socket, retry, accepted);
                });
        });
}
