// The set-up form of a calibration session as both windows show it: the texts the installer typed
// and the two settling values, read into a SessionInfo with the same checks and the same Russian
// messages on every front end, and the form refilled from a loaded session.
#pragma once

#include <optional>
#include <string>

#include "calibration/session.h"

namespace velkon::calibration {

struct SessionForm {
    std::string portion = "20";
    std::string tank;  // empty: the tank's volume is not known
    std::string start_volume = "0";
    double settle_seconds = 10.0;
    double settle_band = 2.0;
    std::string vehicle;  // the vehicle or tank: for the report
    std::string installer;
    std::string notes;  // the tank's shape and other notes
};

struct FormReading {
    SessionInfo info;                  // meaningful only without an error
    std::optional<std::string> error;  // the first thing wrong, as the message box says it
};

// The form as a session set-up: numbers with "." or ",", the tank and the starting volume may be
// left empty. The sensor's serial, full scale and the start time are not on the form; the caller
// adds them.
FormReading read_form(const SessionForm& form);

// The form showing a session's set-up; numbers written with `decimal`.
SessionForm form_of(const SessionInfo& info, char decimal = '.');

// A new portion typed while a session runs: the value, or the message why not.
struct PortionReading {
    std::optional<double> portion;
    std::optional<std::string> error;
};
PortionReading read_portion(const std::string& text);

// A number typed into a cell of the table: the value, or the message why not.
struct CellReading {
    std::optional<double> value;
    std::optional<std::string> error;
};
CellReading read_cell(const std::string& text);

}  // namespace velkon::calibration
