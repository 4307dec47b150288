// The odometer's serial line: device paths and line settings.
#pragma once

#include <boost/asio/serial_port.hpp>

#include <string>

// "COMn" names /dev/ttyS(n-1); a name beginning with "/" is a device path as
// it stands (a USB adapter or a pseudo-terminal); any other name is looked
// for in /dev.
std::string serial_port_path(const std::string& name);

// 115200 baud, no flow control, no parity, 8 data bits, one stop bit, in
// this order. Throws boost::system::system_error.
void apply_odometer_line_settings(boost::asio::serial_port& port);
