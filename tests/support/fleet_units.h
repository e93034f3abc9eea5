// Units of a fleet report as the write leaves them, for the tests of the report's rendering: what
// a write changed and filled in, what differs afterwards (names with leading zeros), and a unit
// still at work (its port not even UTF-8). No unit is asked.
#pragma once

#include <vector>

#include "cli/fleet_report.h"

namespace velkon::testing {

inline std::vector<cli::UnitReport> rendered_units() {
    cli::UnitReport written;
    written.port = "/dev/ttyUSB0";
    written.imei = "356938035640001";
    written.sim = "89701010000000000001";
    written.serial = "100500";
    written.firmware = "43";
    written.outcome = cli::UnitOutcome::Written;
    written.changes = {{"device_id", "0000012345", "8035640001"}, {"apn", "internet", "m2m;\"x\""}};
    written.filled = {{"device_id", "8035640001"}, {"access_password", "0001"}};
    written.message = "Конфигурация записана и проверена.";
    cli::UnitReport differs;
    differs.port = "/dev/ttyUSB1";
    differs.imei = "086938035640002";  // leading zeros, kept only by a text
    differs.sim = "89701010000000000002";
    differs.serial = "0012345";
    differs.outcome = cli::UnitOutcome::Differs;
    differs.status = cli::kDeviceFailed;
    differs.changes = {{"server_port", "20332", "20333"}};
    differs.differing = {"server_port"};
    differs.difference_lines = {"«server_port»: записано «20333», прочитано «2033»"};
    cli::UnitReport working;
    working.port = "/dev/tty\xFFUSB2";  // a name as the user typed it, not UTF-8
    working.status = cli::kUnfinished;
    return {written, differs, working};
}

}  // namespace velkon::testing
