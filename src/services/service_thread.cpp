#include "services/service_thread.h"

#include "runtime/text_encoding.h"
#include "runtime/thread_name.h"

#include <boost/lexical_cast.hpp>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {
constexpr auto kStopWait = std::chrono::seconds(2);  // for a stopped loop to close its sockets
constexpr auto kRestartPause = std::chrono::milliseconds(2000);  // after a failed round
constexpr auto kFlushPeriod = std::chrono::seconds(1);           // summaries of left-out rows
constexpr auto kBurstQuiet = std::chrono::seconds(10);           // a pause that ends a burst
constexpr auto kListenRetry = std::chrono::seconds(3);           // after a port that cannot be had
constexpr auto kAcceptRetry = std::chrono::milliseconds(200);    // after a failed accept
}  // namespace

unsigned short service_port(const std::string& text) {
    return static_cast<unsigned short>(boost::lexical_cast<unsigned long>(text) & 0xFFFF);
}

bool keep_alive(boost::asio::ip::tcp::socket& socket, const keepalive_timing& timing) {
    const int fd = socket.native_handle();
    const int on = 1;
    const int idle = static_cast<int>(timing.idle.count());
    const int interval = static_cast<int>(timing.interval.count());
    // Unacknowledged replies to a vanished peer give up after the same time,
    // instead of the system's quarter of an hour of retransmissions.
    const unsigned user_timeout =
        static_cast<unsigned>((timing.idle + timing.interval * timing.probes).count() * 1000);
    return setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &timing.probes, sizeof timing.probes) == 0 &&
           setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &user_timeout, sizeof user_timeout) == 0;
}

void service_thread::loop_state::stop() {
    std::unique_lock<std::mutex> lock(guard);
    stopping = true;
    io.stop();
    changed.notify_all();
    changed.wait_for(lock, kStopWait, [this] { return ended || !started; });
}

bool service_thread::loop_state::pause(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(guard);
    return !changed.wait_for(lock, pause, [this] { return stopping; });
}

bool service_thread::loop_state::stop_requested() {
    std::lock_guard<std::mutex> lock(guard);
    return stopping;
}

service_thread::service_thread(const app_link_ptr& link, const char* unknown_text,
                               const char* thread_name)
    : wxThread(wxTHREAD_JOINABLE),
      thread_name_(thread_name),
      link_(link),
      state_(std::make_shared<loop_state>()),
      unknown_text_(unknown_text),
      flush_timer_(state_->io) {
    link_->stop_at_detach(state_);
}

wxThread::ExitCode service_thread::Entry() {
    name_this_thread(thread_name_);
    {
        std::lock_guard<std::mutex> lock(state_->guard);
        state_->started = true;
    }
    ExitCode result = 0;
    // The stop request is looked at after restart(), which would undo a stop
    // that came before it.
    while (!state_->stop_requested()) {
        try {
            start();
            flush_rows();
            io().run();
        } catch (const std::exception& e) {
            link_->post_error(from_narrow(e.what()));
            result = reinterpret_cast<ExitCode>(-1);
        } catch (...) {
            link_->post_error(unknown_text_);
            result = reinterpret_cast<ExitCode>(-1);
        }
        if (state_->stop_requested()) break;
        reset();
        boost::system::error_code ignored;
        flush_timer_.cancel(ignored);
        if (!state_->pause(kRestartPause)) break;
        io().restart();
    }
    close_all();
    boost::system::error_code ignored;
    flush_timer_.cancel(ignored);
    {
        std::lock_guard<std::mutex> lock(state_->guard);
        state_->ended = true;
        state_->changed.notify_all();
    }
    return result;
}

void service_thread::flush_rows() {
    for (const auto& s : rows_.expire(journal_limiter::clock::now())) {
        if (s.error) {
            link_->post_error(from_narrow(s.text()));
        } else {
            link_->post_info(from_narrow(s.text()));
        }
    }
    flush_timer_.expires_after(kFlushPeriod);
    flush_timer_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) flush_rows();
    });
}

void service_thread::peer_info(const std::string& kind, const std::string& source,
                               const wxString& text) {
    if (rows_.admit(kind, source, false, journal_limiter::clock::now())) link_->post_info(text);
}

void service_thread::peer_error(const std::string& kind, const std::string& source,
                                const wxString& text) {
    if (rows_.admit(kind, source, true, journal_limiter::clock::now())) link_->post_error(text);
}

bool service_thread::begins_burst(const std::string& kind) {
    return rows_.begins_burst(kind, journal_limiter::clock::now(), kBurstQuiet);
}

bool service_thread::listen_or_retry(boost::asio::ip::tcp::acceptor& acceptor,
                                     const std::string& port_text, boost::asio::steady_timer& retry,
                                     std::function<void()> again) {
    using boost::asio::ip::tcp;
    try {
        const tcp::endpoint endpoint(tcp::v4(), service_port(port_text));
        acceptor.open(endpoint.protocol());
        acceptor.set_option(tcp::acceptor::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(boost::asio::socket_base::max_listen_connections);
    } catch (const std::exception& e) {
        boost::system::error_code ignored;
        acceptor.close(ignored);
        if (e.what() != last_listen_failure_) {
            last_listen_failure_ = e.what();
            link_->post_error(from_narrow(e.what()));
        }
        retry.expires_after(kListenRetry);
        retry.async_wait([again](const boost::system::error_code& ec) {
            if (!ec) again();
        });
        return false;
    }
    last_listen_failure_.clear();
    return true;
}

void service_thread::retry_accept(const std::string& kind, const boost::system::error_code& ec,
                                  boost::asio::steady_timer& retry, std::function<void()> again) {
    peer_error(kind, "", from_narrow(ec.message()));
    retry.expires_after(kAcceptRetry);
    retry.async_wait([again](const boost::system::error_code& e) {
        if (!e) again();
    });
}
