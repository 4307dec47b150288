#include "recording/serial_link.h"

#include <cctype>

std::string serial_port_path(const std::string& name) {
    if (!name.empty() && name[0] == '/') return name;
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
        const std::string digits = name.substr(3);
        bool all_digits = digits.size() <= 4;
        for (char c : digits)
            all_digits = all_digits && std::isdigit(static_cast<unsigned char>(c));
        if (all_digits) {
            const int n = std::stoi(digits);
            if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
        }
    }
    return "/dev/" + name;
}

void apply_odometer_line_settings(boost::asio::serial_port& port) {
    using sp = boost::asio::serial_port_base;
    port.set_option(sp::baud_rate(115200));
    port.set_option(sp::flow_control(sp::flow_control::none));
    port.set_option(sp::parity(sp::parity::none));
    port.set_option(sp::character_size(8));
    port.set_option(sp::stop_bits(sp::stop_bits::one));
}
