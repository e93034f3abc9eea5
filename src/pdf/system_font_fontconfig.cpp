// The report's font on Linux: what fontconfig offers for DejaVu Sans with Russian, best first
// (another TrueType face with the letters when DejaVu Sans is not installed).
#include <fontconfig/fontconfig.h>

#include <utility>
#include <vector>

#include "pdf/font_file.h"
#include "pdf/system_font.h"

namespace velkon::pdf {

namespace {

struct Candidate {
    std::string file;
    int index = 0;  // the face in a collection
};

std::vector<Candidate> candidates() {
    std::vector<Candidate> out;
    // A configuration of our own, loaded and released here: no state left in the process.
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return out;
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("DejaVu Sans:lang=ru"))) {
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcFontSet* sorted = FcFontSort(config, pattern, FcTrue, nullptr, &result)) {
            for (int k = 0; k < sorted->nfont; ++k) {
                FcChar8* file = nullptr;
                int index = 0;
                if (FcPatternGetString(sorted->fonts[k], FC_FILE, 0, &file) != FcResultMatch)
                    continue;
                FcPatternGetInteger(sorted->fonts[k], FC_INDEX, 0, &index);
                out.push_back({reinterpret_cast<const char*>(file), index});
            }
            FcFontSetDestroy(sorted);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return out;
}

}  // namespace

ReportFont find_report_font() {
    for (const Candidate& c : candidates()) {
        std::unique_ptr<Font> font = FontFile::open(c.file, c.index);
        if (!font || !has_letters(*font, kReportLetters)) continue;
        std::unique_ptr<FontFace> face = FontFace::read(*font);
        if (!face) continue;  // PostScript outlines (no "glyf"), or broken tables
        return {std::move(font), std::move(face), {}};
    }
    return {nullptr, nullptr,
            "Отчёт не создан: в системе не найден шрифт DejaVu Sans (пакет fonts-dejavu-core) "
            "или другой шрифт TrueType с русскими буквами."};
}

}  // namespace velkon::pdf
