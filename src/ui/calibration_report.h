// The calibration report as a PDF to hand over: the heading, the table with its marks and the
// plot, on one page (two when the table is long). Drawn with QPainter only, so it needs a
// QGuiApplication but no window: the calibration window and velkon-cli share it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "calibration/session.h"

namespace velkon::ui {

// Returns the Russian reason of a failure, or nothing.
std::optional<std::string> write_report_pdf(const calibration::Session& session,
                                            const std::filesystem::path& path);

}  // namespace velkon::ui
