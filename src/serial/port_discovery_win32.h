// Which COM ports exist on Windows: the serial ports the system lists (its SERIALCOMM map), or,
// where that list is empty, COM1..COM30 asked of the system one by one. COM1..COM30 come first
// in ascending order, then higher numbers (a new USB adapter often gets COM31 or above).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "serial/port_discovery.h"

namespace velkon {

inline constexpr int kHighestComPort = 30;

// "COM" and the decimal number, no space: COM7.
std::string com_port_name(int number);

// Nonzero when the system knows a serial port of that number (GetDefaultCommConfigA): the
// question where the system's list of serial ports is empty. Under wine it answers yes for
// every number.
int PortExists(int number);

// The entries for the numbers 1..kHighestComPort whose name `exists` accepts, in ascending
// order: name "COMn", path "\\.\COMn".
std::vector<PortEntry> list_com_ports(const std::function<bool(const std::string&)>& exists);

// The entries for `names` (as the system lists them) that `exists` accepts: COM1..COM30 in
// ascending order first, then higher COM numbers in ascending order, then other names in
// alphabetical order; each name once.
std::vector<PortEntry> list_named_ports(std::vector<std::string> names,
                                        const std::function<bool(const std::string&)>& exists);

// The port names in the system's SERIALCOMM map (empty when it cannot be read).
std::vector<std::string> system_serial_port_names();

}  // namespace velkon
