// The calibration report as a PDF on Windows, where there is no Qt: the same page as the Linux
// window and velkon-cli draw, written by our own PDF writer with the text in a font the system
// has (embedded, so the file reads the same on any machine).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "calibration/session.h"

namespace velkon::win32 {

// Returns the Russian reason of a failure, or nothing.
std::optional<std::string> write_report_pdf(const calibration::Session& session,
                                            const std::filesystem::path& path);

}  // namespace velkon::win32
