#include "recording/odometer_link.h"

#include "recording/serial_link.h"
#include "runtime/text_encoding.h"

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

void odometer_link::open() {
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
    read();
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
    port_.async_read_some(boost::asio::buffer(&byte_, 1),
                          [this](const boost::system::error_code& ec, size_t n) {
                              if (ec == boost::asio::error::operation_aborted) return;
                              if (ec || n != 1) {
                                  lose("Error reading serial serial_port.");
                                  return;
                              }
                              if (const auto value = decoder_.push(byte_)) on_value_(*value);
                              read();
                          });
}
