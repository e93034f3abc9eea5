// The line settings text of the POSIX driver, as terminal settings (exposed for tests: a
// pseudo-terminal forces 8 data bits and no parity, so those bits cannot be seen on one).
#pragma once

#include <termios.h>

#include <optional>
#include <string_view>

namespace velkon {

struct LineSettings {
    unsigned baud = 0;
    speed_t speed = B0;
    char parity = 'n';  // n, e, o
    int data_bits = 8;
    int stop_bits = 1;
};

// "19200,n,8,1": baud, parity n/e/o in either case, data bits 5..8, stop bits 1 or 2,
// comma-separated, blanks allowed around each field. Nothing when the text cannot be parsed.
std::optional<LineSettings> parse_line_settings(std::string_view text);

// `tio` changed to `line`: raw bytes both ways, no flow control, modem-control lines ignored,
// reads that wait for one byte at least.
void apply_line_settings(termios& tio, const LineSettings& line);

// `base` changed to the line that `settings` names; nothing when the text cannot be parsed.
std::optional<termios> line_termios(std::string_view settings, const termios& base);

}  // namespace velkon
