// Per-unit values in the record's texts, so that one profile sets up a whole fleet:
//   {imei}, {sim}       the unit's IMEI and SIM number, as it reports them
//   {serial}            the unit's serial number, from its configuration record
//   {port}              the name of the port the unit is on ("ttyUSB3"; a path without "/dev/")
//   {imei:10}           the last 10 characters of one of the above (any count from 1)
// Braces are kept for these forms alone: anything else in braces, or a lone brace, is refused
// rather than sent, so a mistyped placeholder never reaches a unit as text. The window and
// velkon-cli fill a record through the same function.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "tracker/record.h"

namespace velkon {

// What is known of the unit being written; a value not known is missing.
struct UnitValues {
    std::optional<std::string> imei, sim, serial, port;
    // Why every missing value is missing ("Устройство не отвечает"); "" names each value's own
    // reason ("IMEI не прочитан").
    std::string why_missing;
};

// Why the braces of `text` are not placeholders (the first wrong piece quoted), or "".
std::string placeholder_problem(std::string_view text);

// Whether a text holds a placeholder (of any form, right or wrong).
bool holds_placeholder(std::string_view text);

// The record with every placeholder filled from `unit`, or why not: the row of the first text
// that cannot be filled and the reason, which does not name the field (the window names it by
// its caption, velkon-cli by its profile key).
struct FilledRecord {
    std::optional<TrackerConfig> config;
    std::size_t field = 0;
    std::string refusal;
    explicit operator bool() const { return config.has_value(); }
};
FilledRecord fill_placeholders(const TrackerConfig& config, const UnitValues& unit);

// The record with each well-formed placeholder replaced by a stand-in of its length ("1", or N
// of them for {imei:N}), so that a profile's other checks see a plausible unit's value.
TrackerConfig with_stand_ins(const TrackerConfig& config);

// The name {port} stands for.
std::string port_placeholder_value(const std::string& port);

}  // namespace velkon
