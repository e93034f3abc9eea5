// What the Win32 driver makes of the system's error codes (shared with its tests).
#pragma once

#include "serial/serial_port.h"

namespace velkon {

// The reason of a failed CreateFileA for the user. A COM port another program holds answers
// "access denied": on Windows that means busy, not a lack of rights.
OpenFailure failure_for_win32_error(unsigned long error);

}  // namespace velkon
