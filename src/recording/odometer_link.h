// The odometer's serial line as the recording reads it, on the write
// thread's I/O loop: opened for the recording alone (see open_odometer_port),
// read one byte at a time into the decoder, and every complete value handed
// on. A line that cannot be opened, or fails while it is read (a USB adapter
// pulled, a device gone), is closed and opened again every second until it
// answers; the decoder starts afresh with each opening.
//
// Journal rows: "Не удалось открыть последовательный порт: <path>" or "Error
// reading serial serial_port." once when the line is lost, "Последовательный
// порт: <path>" each time it is opened. Used only on its I/O loop's thread;
// destroy it before the io_context.
#pragma once

#include "recording/odometer_protocol.h"
#include "runtime/app_link.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <string>

class odometer_link {
  public:
    using value_handler = std::function<void(uint32_t value)>;

    odometer_link(boost::asio::io_context& io, std::string path, odometer_format format,
                  app_link_ptr link, value_handler on_value,
                  std::chrono::milliseconds reopen_pause = std::chrono::seconds(1));
    ~odometer_link();
    odometer_link(const odometer_link&) = delete;
    odometer_link& operator=(const odometer_link&) = delete;

    // The first opening; failures are retried from here on.
    void start();
    // Closes the line for good (the recording stops): no value after it.
    void close();
    bool is_open() const { return port_.is_open(); }
    const std::string& path() const { return path_; }

    // Leaves the next bytes waiting in the line, or reads on.
    void pause();
    void resume();
    // Bytes received and not read yet.
    size_t waiting() const;

  private:
    void open();
    void lose(const wxString& row);
    void read();

    std::string path_;
    odometer_format format_;
    app_link_ptr link_;
    value_handler on_value_;
    std::chrono::milliseconds reopen_pause_;
    boost::asio::serial_port port_;
    boost::asio::steady_timer retry_;
    odometer_decoder decoder_;
    uint8_t byte_ = 0;
    std::string claim_;      // the held port's key while open
    bool reported_ = false;  // the loss of the line was journalled
    bool paused_ = false;
    bool reading_ = false;  // a read is pending
    bool closed_ = false;
};
