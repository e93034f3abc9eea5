// The handed-over report laid out on A4 pages once, for every front end: the title, the heading
// lines, the table with the marked rows red, the plot of level against volume and the summary;
// a second page when the table is long. A PDF writer or a window toolkit's painter draws it.
#pragma once

#include <functional>
#include <string_view>

#include "calibration/session.h"
#include "pdf/page.h"

namespace velkon::calibration {

// The width in points of `text` at `size` points, as the font that will draw it measures it.
using TextWidth = std::function<double(std::string_view text, double size, bool bold)>;

pdf::Document report_document(const Session& session, const TextWidth& width);

}  // namespace velkon::calibration
