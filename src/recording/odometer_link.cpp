#include "recording/odometer_link.h"

#include "recording/serial_link.h"
#include "runtime/text_encoding.h"

#include <sys/ioctl.h>

odometer_link::odometer_link(boost::asio::io_context& io, std::string path, odometer_format format,
                             app_link_ptr link, value_handler on_value,
                             std::chrono::milliseconds reopen_pause)
    : path_(std::move(path)),
      format_(format),
      link_(std::move(link)),
      on_value_(std::move(on_value)),
      reopen_pause_(reopen_pause),
      port_(io),
      retry_(io),
      decoder_(format) {}

odometer_link::~odometer_link() {
    boost::system::error_code ignored;
    port_.close(ignored);
    if (!claim_.empty()) release_port(claim_);
}

void odometer_link::start() {
    open();
}

void odometer_link::close() {
    closed_ = true;
    retry_.cancel();
    boost::system::error_code ignored;
    port_.close(ignored);
    if (!claim_.empty()) release_port(claim_);
    claim_.clear();
}

void odometer_link::pause() {
    paused_ = true;
}

void odometer_link::resume() {
    paused_ = false;
    if (port_.is_open() && !reading_) read();
}

size_t odometer_link::waiting() const {
    int bytes = 0;
    if (!port_.is_open() || ::ioctl(const_cast<boost::asio::serial_port&>(port_).native_handle(),
                                    FIONREAD, &bytes) != 0) {
        return 0;
    }
    return size_t(std::max(bytes, 0));
}

void odometer_link::open() {
    if (closed_) return;
    try {
        open_odometer_port(port_, path_);
    } catch (const std::exception&) {
        lose(wxString::Format(L"Не удалось открыть последовательный порт: %s", from_narrow(path_)));
        return;
    }
    claim_ = claim_port(path_);
    decoder_ = odometer_decoder(format_);
    reported_ = false;
    link_->post_info(wxString::Format(L"Последовательный порт: %s", from_narrow(path_)));
    if (!paused_) read();
}

void odometer_link::lose(const wxString& row) {
    boost::system::error_code ignored;
    port_.close(ignored);
    if (!claim_.empty()) release_port(claim_);
    claim_.clear();
    if (!reported_) link_->post_error(row);
    reported_ = true;
    retry_.expires_after(reopen_pause_);
    retry_.async_wait([this](const boost::system::error_code& ec) {
        if (!ec) open();
    });
}

void odometer_link::read() {
    reading_ = true;
    port_.async_read_some(boost::asio::buffer(&byte_, 1),
                          [this](const boost::system::error_code& ec, size_t n) {
                              reading_ = false;
                              if (ec == boost::asio::error::operation_aborted || closed_) return;
                              if (ec || n != 1) {
                                  lose("Error reading serial serial_port.");
                                  return;
                              }
                              if (const auto value = decoder_.push(byte_)) on_value_(*value);
                              if (!paused_ && port_.is_open()) read();
                          });
}
