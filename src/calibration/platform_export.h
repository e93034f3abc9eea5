// The table as a tracking platform imports it: one "level;litres" pair a line, the level a whole
// number of the sensor's units, no header, in the column order and with the separator chosen.
// A platform interpolates between the pairs, so the table must rise: a point whose level does not
// rise above the one before, or whose volume does not, is refused with its reason.
#pragma once

#include <string>

#include "calibration/session.h"

namespace velkon::calibration {

struct PlatformFormat {
    bool level_first = true;
    char separator = ';';  // ';', ',', '\t' or ' '; litres are always written with "."
};

struct PlatformText {
    std::string text;   // when there is no error
    std::string error;  // Russian; empty when the text is good
};
PlatformText platform_table(const Session& session, const PlatformFormat& format);

}  // namespace velkon::calibration
