// Configuration profiles: the unit's configuration record kept in a file, so that many units can
// be set up the same way, from the window or from the command line.
//
// A profile is UTF-8 JSON, one object:
//   "format": "velkon-profile/1"
//   "apn", "gsm_user", "gsm_password", "sim_pin", "server", "server_port", "device_id",
//   "access_password"                      texts
//   "period"                               seconds, 10..1000
//   "input1_mode", "input2_mode"           1 dry contact, 2 frequency, 3 analogue
//   "egts"                                 true or false
//   "channels"                             8 objects {"enabled": bool, "address": 0..200}
//   "firmware_version", "serial_number"    optional, from a read; never written to a unit
//
// Loading is all or nothing: a value is taken only when every key is present, known, of its type
// and passes the checks of a configuration write (widths in code-page bytes, characters the code
// page holds, ranges). The record's frame layout and those checks live in tracker/record.h; this
// code only maps keys onto the layout's rows.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tracker/record.h"

namespace velkon {

inline constexpr std::string_view kProfileFormat = "velkon-profile/1";
inline constexpr std::string_view kProfileExtension = ".json";
// The name of the copy of the last configuration written, a 169-byte write frame.
inline constexpr std::string_view kConfigCopyFileName = "123.cfg";

// A record taken from a file, or why not (a Russian message naming the key and the problem).
struct LoadedProfile {
    std::optional<TrackerConfig> config;
    std::string error;
    explicit operator bool() const { return config.has_value(); }
};

// A profile text.
LoadedProfile parse_profile(std::string_view json_text);
// The 169 bytes of a configuration write frame, as the window keeps them in "123.cfg".
LoadedProfile parse_config_copy(std::string_view bytes);
// Either of the two, told apart by their content.
LoadedProfile parse_profile_content(std::string_view content);
// The content of a file, parsed as above; the message names the file.
LoadedProfile load_profile_file(const std::filesystem::path& path);

// Why a record's values would not load from a profile (the first value «Установить» would
// refuse, or an input mode other than 1..3, named by the field's caption), or "".
std::string check_values(const TrackerConfig& config);

// The profile text of a record: numbers as a write frame would carry them, texts as they are;
// the firmware version and serial number when the record holds them as numbers. Values are not
// checked here (a unit may hold what a profile may not): use check_values() first where that
// matters.
std::string profile_text(const TrackerConfig& config);

// The profile key of a layout row ("channels[2].address"), or "" for a row no key holds.
std::string profile_key_of_row(std::size_t row);

// The record as the unit reports it back after a write of `config`: numbers as the write frame
// carries them (a period "60,4" becomes 60), texts as given; nullopt when the write is refused.
std::optional<TrackerConfig> as_read_back_after_write(const TrackerConfig& config);

// A value as a profile shows it, for messages: texts in «», flags as true/false, "нет" missing.
std::string profile_shown_value(const std::optional<FieldValue>& value, FieldKind kind);

}  // namespace velkon
