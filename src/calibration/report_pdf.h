// The calibration report as a PDF file, the one the window makes on either system and velkon-cli
// makes from a saved session: the laid-out page (report_page.h) written by our own PDF writer
// with the text in a font the system has, embedded, so the file reads the same on any machine.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "calibration/session.h"

namespace velkon::calibration {

// Returns the Russian reason of a failure, or nothing.
std::optional<std::string> write_report_pdf(const Session& session,
                                            const std::filesystem::path& path);

}  // namespace velkon::calibration
