#include "win32/report_pdf.h"

#include "calibration/report_page.h"
#include "calibration/session_file.h"
#include "pdf/pdf_writer.h"
#include "win32/report_font.h"

namespace velkon::win32 {

std::optional<std::string> write_report_pdf(const calibration::Session& session,
                                            const std::filesystem::path& path) {
    const std::optional<ReportFont> font = find_report_font();
    if (!font)
        return "Отчёт не создан: в системе не найден шрифт TrueType с русскими буквами "
               "(Arial, Tahoma или Segoe UI).";
    const pdf::FontFace& face = *font->face;
    const pdf::Document doc = calibration::report_document(
        session,
        [&face](std::string_view text, double size, bool) { return face.width(text, size); });
    // Written whole, as every other file of ours: a failed write leaves the old file.
    return calibration::write_export(path, pdf::write_pdf(doc, face));
}

}  // namespace velkon::win32
