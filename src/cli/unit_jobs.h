// What velkon-cli does with one unit, for one port or for each port of a fleet: the result is
// data for the caller to print or report, never printed here, so that units on worker threads
// can run side by side.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/profile_values.h"
#include "cli/unit_link.h"
#include "cli/unit_outcome.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "tracker/record.h"

namespace velkon::cli {

// Exit statuses; a fleet ends with the largest of its units'.
enum ExitStatus : int {
    kDone = 0,
    kDeviceFailed = 1,  // silent, refused, read back differently; or the output failed
    kBadInput = 2,      // usage, an input file, a value refused, the console without --console
    kPortFailed = 3,    // the port could not be opened: absent, busy, no rights
    kOutputFailed = 1,
};

// A port the user named, found in the list (or a path), not opened yet.
struct NamedPort {
    std::string name;  // as the user gave it
    std::string path;  // what is opened
    bool console = false;
};

struct UnitReport {
    std::string port;
    std::string imei, sim, serial, firmware;
    int status = kDone;
    UnitOutcome outcome = UnitOutcome::Unfinished;
    // A profile value the write changes (or, in a dry run, would change): what the unit held
    // before and what the profile gives, as the profile writes them.
    struct Change {
        std::string key, before, after;
    };
    std::vector<Change> changes;
    // The values filled in for this unit (placeholders, the values table): key and text.
    std::vector<std::pair<std::string, std::string>> filled;
    std::vector<std::string> differing;         // keys read back differently after a write
    std::vector<std::string> difference_lines;  // the same with both values, for messages
    std::string message;                        // what happened, in Russian
    std::optional<TrackerConfig> config;        // a read's record
};

struct UnitJobSettings {
    std::function<std::unique_ptr<SerialPort>()> make_port;
    std::chrono::milliseconds wait;
    bool console_allowed = false;
};

// How far a unit's write has gone: what a run ended halfway says of a unit not finished.
enum class WriteStage {
    NotSent,       // the unit was not changed
    Sent,          // the frame went to the port: the unit may hold the new values
    Acknowledged,  // the unit took them; the read-back did not finish
};

// A unit's job as the fleet sees it while it runs, shared between the worker and the fleet.
class UnitProgress {
  public:
    // The unit's write may begin (it is then taken as sent); false once the run is stopping.
    bool begin_write();
    void write_acknowledged();
    void identified(const std::string& imei, const std::string& sim);
    // No write begins from now on.
    void stop();
    bool stopping() const;

    struct Seen {
        WriteStage stage = WriteStage::NotSent;
        std::string imei, sim;
    };
    Seen seen() const;

  private:
    mutable std::mutex mutex_;
    bool stopping_ = false;
    Seen seen_;
};

// Opens `port`; nullptr with `report` filled (status 2 or 3) when it may not or cannot be.
std::unique_ptr<SerialPort> open_unit_port(const NamedPort& port, const UnitJobSettings& settings,
                                           UnitReport& report);

// Reads IMEI, SIM, serial number and firmware version (and the record, with `with_config`).
UnitReport read_unit(const NamedPort& port, const UnitJobSettings& settings, bool with_config);

// A unit between the two halves of a write: its port open, what it told of itself in the report
// (IMEI, SIM, serial number, firmware version) and the record it held before the write.
struct UnitOnPort {
    UnitReport report;  // with a failure's status and outcome when the first half failed
    std::optional<TrackerConfig> held;
    std::unique_ptr<SerialPort> serial;
    std::unique_ptr<UnitLink> link;  // over *serial, so declared after it

    // The first half went well: the unit waits for its values.
    bool ready() const { return link != nullptr; }
    // Gives the port back.
    void close();
};

// The first half of a write: opens the port and asks what the values need, IMEI and SIM with
// `ask_imei`, the record with `read_record`. `progress`, when given, hears the IMEI and can
// stop it before it begins.
UnitOnPort reach_unit(const NamedPort& port, const UnitJobSettings& settings, bool ask_imei,
                      bool read_record, UnitProgress* progress = nullptr);

// The second half: writes `filled` (checked already), reads it back and compares; the report
// gets the changes, when the record held before is known, and the values filled in. With
// `dry_run` no frame is sent: the report says what the write would change. `progress`, when
// given, is told how far it went and can stop it before the write.
void write_filled(UnitOnPort& unit, const FilledProfile& filled, bool dry_run,
                  UnitProgress* progress = nullptr);

// The refusal of a unit before anything is written to it.
void refuse(UnitReport& report, UnitOutcome outcome, int status, const std::string& message);

// Both halves for one unit: the profile is filled from the unit, checked and written. The unit's
// IMEI and record are asked first when `identify` or the placeholders need them.
UnitReport write_unit(const NamedPort& port, const UnitJobSettings& settings,
                      const ProfileTemplate& profile, bool identify,
                      UnitProgress* progress = nullptr);

}  // namespace velkon::cli
