// Which COM ports exist on Windows: COM1..COM30 asked of the system one by one, in that order.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace velkon {

inline constexpr int kHighestComPort = 30;

// "COM" and the decimal number, no space: COM7.
std::string com_port_name(int number);

// Nonzero when the system knows a serial port of that number (GetDefaultCommConfigA). Under
// wine it answers yes for every number.
int PortExists(int number);

// The entries for the numbers 1..kHighestComPort whose name `exists` accepts, in ascending
// order: name "COMn", path "\\.\COMn".
std::vector<PortEntry> list_com_ports(const std::function<bool(const std::string&)>& exists);

}  // namespace velkon
