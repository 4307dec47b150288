// The odometer's serial line: device paths, line settings, and the ports a
// recording holds.
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

// A port a recording reads is its alone. The open port is made exclusive
// (TIOCEXCL), which keeps other programs out but not root's, so the ports
// held in this process are also listed here: the odometer test never opens
// one of them. Paths are compared after resolving links. Safe from any thread.
// claim_port returns the key to release the claim with.
std::string claim_port(const std::string& path);
void release_port(const std::string& key);
bool port_claimed(const std::string& path);

// Opens the port for a recording: exclusive, line settings applied, and the
// bytes that waited in the line while nobody read it discarded (they are old
// travel). Throws boost::system::system_error.
void open_odometer_port(boost::asio::serial_port& port, const std::string& path);
