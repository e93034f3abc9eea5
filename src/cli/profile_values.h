// Per-unit values of a profile written from the command line: `--set key=value` changes a key of
// the file before anything is sent, and placeholders in the profile's texts ({imei}, {sim},
// {serial}, {port}, {imei:10}; tracker/placeholders.h) are filled from the unit being written.
// A filled profile passes the checks of a typed one; a value that cannot be filled refuses the
// unit with the reason.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tracker/placeholders.h"
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
// "channels[3].address=7") in order and checks the result, each placeholder for its form and as a
// stand-in of its length, so a bad file is refused before any unit is touched.
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
    // The keys whose placeholders were filled, with the values they got.
    std::vector<std::pair<std::string, std::string>> filled;
    std::string refusal;
    std::string key;  // the key refused
    explicit operator bool() const { return config.has_value(); }
};

FilledProfile fill_profile(const ProfileTemplate& profile, const UnitFacts& unit);

// Whether --set (and a values table's header) may name `key`.
bool is_profile_key(const ProfileTemplate& profile, const std::string& key);

// The template with more values set (a unit's row of a values table), checked as after --set;
// the error names the key and the cause.
ProfileTemplate with_values(const ProfileTemplate& profile,
                            const std::vector<std::pair<std::string, std::string>>& values);

// A value as a profile gives it: a text as it is, a flag true or false, a number in decimal.
std::string value_text(const std::optional<FieldValue>& value, FieldKind kind);

}  // namespace velkon::cli
