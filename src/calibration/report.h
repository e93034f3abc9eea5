// What the handed-over calibration report says, as text: the heading lines (whose tank, who, when,
// which sensor and unit, the tank, the settling rule) and the rows of the table with their marks.
// The drawing of the page is the front end's; every front end and the command line say the same.
#pragma once

#include <string>
#include <vector>

#include "calibration/session.h"

namespace velkon::calibration {

struct ReportLine {
    std::string label;
    std::string value;
};

struct ReportRow {
    std::string volume;
    std::string level;
    std::string marks;  // the marks' words, or the note of a point
    bool marked = false;
};

struct Report {
    std::string title;
    std::vector<ReportLine> heading;
    std::vector<ReportRow> rows;
    std::string summary;  // how many points, how many marked
};

Report make_report(const Session& session, char decimal = ',');

}  // namespace velkon::calibration
