// The report of a fleet run as bytes: a CSV table for a spreadsheet or a script, a JSON object for
// a script, an Excel workbook. Rendering only: when the report is written, and where, is the
// run's business (fleet.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/unit_jobs.h"

namespace velkon::cli {

// A row's status while its unit is still at work.
inline constexpr int kUnfinished = -1;

// "velkon-cli 1.0.0": the program a report names.
std::string tool_version();

// What tells one run's report from another's.
struct RunFacts {
    std::string started;  // ISO 8601
    std::string profile;  // as given; empty for a run without one
    std::string version = tool_version();
};

enum class RunState { Running, Done, Interrupted };

enum class ReportFormat { Csv, Json, Xlsx };

// The format a report file's ending asks for (.csv, .json, .xlsx); nothing for any other name.
std::optional<ReportFormat> report_format(std::string_view file_name);

// Why a report cannot be written to `file_name`: its ending names no format, or one this build
// does not write (an Excel workbook on Windows); "" when it can.
std::string report_name_problem(std::string_view file_name);

// A report's bytes, or why they could not be made: an errno, worded by file_error_text.
struct ReportBytes {
    std::string bytes;
    int error = 0;
};

// The whole report of `units`, in the order given.
ReportBytes report_bytes(ReportFormat format, const std::vector<UnitReport>& units,
                         const RunFacts& run, RunState state);

// One unit as a line of JSON: a row of the JSON report, and what `fleet … --json` prints.
std::string unit_json_line(const UnitReport& unit);

}  // namespace velkon::cli
