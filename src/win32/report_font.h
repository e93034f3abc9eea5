// A TrueType font of the system that has the report's Russian letters, for the PDF report: its
// tables and glyphs through GDI. Arial first, as the report's text was laid out for a sans serif
// of its width; then other common faces; then any TrueType face with Cyrillic.
#pragma once

#include <memory>
#include <optional>

#include "pdf/font.h"

namespace velkon::win32 {

struct ReportFont {
    std::unique_ptr<pdf::Font> font;
    std::unique_ptr<pdf::FontFace> face;  // reads `font`, which must outlive it
};

// Nothing when the system has no TrueType font with the letters of the report.
std::optional<ReportFont> find_report_font();

}  // namespace velkon::win32
