// The line settings as terminal settings (exposed for tests: a pseudo-terminal forces 8 data
// bits and no parity, so those bits cannot be seen on one).
#pragma once

#include <termios.h>

#include <optional>

#include "serial/serial_port.h"

namespace velkon {

// The terminal speed of `baud`; nothing for a speed the terminal has no setting for.
std::optional<speed_t> terminal_speed(unsigned baud);

// `base` changed to `line`: raw bytes both ways, no flow control, modem-control lines ignored,
// reads that wait for one byte at least. Nothing when the terminal cannot take `line`.
std::optional<termios> line_termios(const LineSettings& line, const termios& base);

}  // namespace velkon
