// What the Win32 driver makes of the system's error codes and how it sets up a port (shared
// with its tests).
#pragma once

#include "serial/serial_port.h"

// The system's records, named without pulling the system headers into every includer.
struct _DCB;
struct _COMMTIMEOUTS;

namespace velkon {

// The reason of a failed CreateFileA for the user. A COM port another program holds answers
// "access denied": on Windows that means busy, not a lack of rights.
OpenFailure failure_for_win32_error(unsigned long error);

// Whether a failed read or write means the device has gone: the link then hangs up.
bool is_hangup_error(unsigned long error);

// The time-out record every opened port gets.
const _COMMTIMEOUTS& comm_timeouts();

// Puts the speed, parity, data and stop bits of `line` into `dcb`; false for framing no port
// has (data bits outside 5..8, stop bits other than 1 or 2, no speed).
bool put_line(const LineSettings& line, _DCB& dcb);

// Makes a control block that the line settings were put into acceptable to every driver:
// binary mode, distinct XonChar and XoffChar, flow control and error replacement off, DTR and
// RTS on. The line settings (speed, parity, data and stop bits) stay as they are.
void settle_comm_dcb(_DCB& dcb);

}  // namespace velkon
