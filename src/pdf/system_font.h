// The TrueType font the reports embed, found among the fonts of the system: on Linux through
// fontconfig (DejaVu Sans first, a dependency of the package), on Windows through GDI (Arial
// first). One search for each system, each in a file of its own behind find_report_font().
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "pdf/font.h"

namespace velkon::pdf {

// Words whose letters a report font must have: the title and the marks.
inline constexpr std::u32string_view kReportLetters =
    U"Тарировочная таблица бака: ёмкость, уровень упал; Ё±…—«»0123456789";

struct ReportFont {
    std::unique_ptr<Font> font;
    std::unique_ptr<FontFace> face;  // reads `font`, which must outlive it
    std::string error;               // no font: why, in Russian, for the user
};

ReportFont find_report_font();

}  // namespace velkon::pdf
