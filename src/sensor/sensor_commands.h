// The sensor command set: every command the window sends to the fuel level sensor, and the
// service commands that go to the unit in the same frame format. A command checks its
// preconditions, asks what it must ask, and leaves one complete frame in the outbox; it never
// touches the port. Refusals and range errors are shown in message boxes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "connection/outbox.h"
#include "files/day_file.h"
#include "model/window_model.h"
#include "protocol/frame.h"
#include "seams/seams.h"

namespace velkon {

struct SensorCommand;  // a row of the command table

// The commands that differ only in data: rows of one table, run by one routine.
enum class SensorCommandId {
    CalibrateEngineRunning,  // ignition calibration, engine running
    CalibrateEngineStopped,  // ignition calibration, engine stopped
    SetHorizon,
    CalibrateFullLevel,
    CalibrateEmptyLevel,
    SetOperatingMode,
    ChangePassword,
    EnterPassword,
    ChangeNetworkAddress,
    SetNextSerialNumber,
    SetUnitSerialNumber,  // also writes the binding record to the day file
    SetBpValue,
    ShiftFullLevel,
    ShiftEmptyLevel,
    PollNetwork,
    Count
};

// The address of the sensor selected in the address box `CmbNet`: its selected entry read as a
// byte; nothing when no entry is selected or the entry is not a byte.
std::optional<std::uint8_t> selected_sensor_address(const WindowModel& model);

// The version and serial-number request for the selected sensor, or an empty frame when none is
// selected.
Frame version_request(const WindowModel& model);
// The version and serial-number request to the sensor at the readings' address (1).
Frame sensor_version_request();

// The controls the command table reads its values from.
std::vector<ControlName> sensor_command_controls();

// The readings request to the sensor at address 1 (31 01 F0 C5), the exchange's idle request on
// page «Датчик».
Frame readings_request();

class SensorCommands {
  public:
    SensorCommands(WindowModel& model, Dialogs& dialogs, Outbox& outbox, DayFile& day_file)
        : m_(model), dialogs_(dialogs), outbox_(outbox), day_file_(day_file) {}

    void run(SensorCommandId id);

    // The shift text generator: prepares a shift command for a sensor behind a remote unit as
    // text in `gen_txt`; nothing is sent.
    void generate_full_shift_text();
    void generate_empty_shift_text();

    // Queues the version request of the newly selected sensor (the address box was edited).
    void request_selected_version();

  private:
    void run(const SensorCommand& command);
    void generate_shift(ControlName shift_control, std::uint8_t code);

    WindowModel& m_;
    Dialogs& dialogs_;
    Outbox& outbox_;
    DayFile& day_file_;
};

}  // namespace velkon
