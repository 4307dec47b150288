// "Тест ДПП": probes the serial ports for the odometer and tells its format.
// Runs on the user-interface thread; blocks up to 125 ms per port that opens.
#pragma once

#include <chrono>
#include <string>
#include <vector>

enum class odometer_probe { unavailable, not_found, new_format, old_format };

// Opens the device, applies the line settings and waits up to `wait` for one byte.
odometer_probe probe_odometer(const std::string& path,
                              std::chrono::milliseconds wait = std::chrono::milliseconds(125));

// "COM1" ... "COM10" in text order: COM1, COM10, COM2, ..., COM9.
std::vector<std::string> odometer_test_ports();

// The journal lines of a test over the named ports, starting with "Тест ДПП:".
// A port a recording holds is reported unavailable without being opened.
// Lines are UTF-8.
std::vector<std::string> run_odometer_test(const std::vector<std::string>& port_names);
