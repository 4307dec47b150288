#include "recording/odometer_test.h"

#include "recording/odometer_protocol.h"
#include "recording/serial_link.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/serial_port.hpp>

#include <algorithm>

odometer_probe probe_odometer(const std::string& path, std::chrono::milliseconds wait) {
    boost::asio::io_context io;
    boost::asio::serial_port port(io);
    try {
        port.open(path);
        apply_odometer_line_settings(port);
    } catch (const std::exception&) {
        return odometer_probe::unavailable;
    }
    uint8_t byte = 0;
    bool received = false;
    port.async_read_some(
        boost::asio::buffer(&byte, 1),
        [&](const boost::system::error_code& ec, size_t n) { received = !ec && n == 1; });
    io.run_for(wait);
    boost::system::error_code ignored;
    port.close(ignored);
    if (!received) return odometer_probe::not_found;
    return byte == odometer_message::kHeader0 ? odometer_probe::new_format
                                              : odometer_probe::old_format;
}

std::vector<std::string> odometer_test_ports() {
    std::vector<std::string> ports;
    for (int i = 1; i <= 10; ++i)
        ports.push_back("COM" + std::to_string(i));
    std::sort(ports.begin(), ports.end());
    return ports;
}

std::vector<std::string> run_odometer_test(const std::vector<std::string>& port_names) {
    std::vector<std::string> lines = {"Тест ДПП:"};
    for (const auto& name : port_names) {
        const std::string path = serial_port_path(name);
        lines.push_back("Последовательный порт " + path);
        // The recording's port is its alone: never read from it here.
        const odometer_probe probe =
            port_claimed(path) ? odometer_probe::unavailable : probe_odometer(path);
        switch (probe) {
            case odometer_probe::unavailable:
                lines.push_back("недоступен");
                break;
            case odometer_probe::not_found:
                lines.push_back("ДПП не найден");
                break;
            case odometer_probe::new_format:
                lines.push_back("ДПП новый формат");
                break;
            case odometer_probe::old_format:
                lines.push_back("ДПП старый формат");
                break;
        }
    }
    return lines;
}
