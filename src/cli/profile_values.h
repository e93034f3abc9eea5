// Per-unit values of a profile written from the command line: `--set key=value` changes a key of
// the file before anything is sent, and placeholders in the profile's texts are filled from the
// unit being written:
//   {imei}, {sim}       the unit's IMEI and SIM number, as it reports them
//   {serial}            the unit's serial number, from its configuration record
//   {port}              the port's name as given ("ttyUSB3"; a path without "/dev/")
//   {name:N}            the last N characters of one of the above ("{imei:10}")
// A filled profile passes the checks of a typed one; a value that cannot be filled refuses the
// unit with the reason.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tracker/record.h"

namespace velkon::cli {

// A profile with its --set values applied and its placeholders still open.
struct ProfileTemplate {
    std::string json;   // the profile's object, as JSON text
    std::string error;  // why the file or a --set was refused (nothing else is then set)
    bool uses_imei_or_sim = false;
    bool uses_serial = false;
    explicit operator bool() const { return error.empty(); }
};

// Reads a profile or a copy of the written frame ("123.cfg"), applies `sets` ("key=value",
// "channels[3].address=7") in order and checks the result with every placeholder taken as empty,
// so a bad file is refused before any unit is touched.
ProfileTemplate load_profile_template(const std::filesystem::path& path,
                                      const std::vector<std::string>& sets);

// What the unit told about itself; a value it did not tell is missing.
struct UnitFacts {
    std::optional<std::string> imei, sim, serial;
    std::string port;
    std::string why_missing;  // why the unit's values are missing ("Устройство не отвечает")
};

struct FilledProfile {
    std::optional<TrackerConfig> config;
    std::string refusal;
    explicit operator bool() const { return config.has_value(); }
};

FilledProfile fill_profile(const ProfileTemplate& profile, const UnitFacts& unit);

// The name {port} stands for.
std::string port_placeholder_value(const std::string& port);

}  // namespace velkon::cli
