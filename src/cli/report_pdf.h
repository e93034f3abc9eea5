// The PDF drawing velkon-cli's `tank report` is given: the calibration window's own, offscreen,
// in a build with the window; none in a build without it.
#pragma once

#include "cli/cli_tool.h"

namespace velkon::cli {

decltype(CliSeams::write_report_pdf) report_pdf_writer();

}  // namespace velkon::cli
