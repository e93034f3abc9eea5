#include "calibration/report_pdf.h"

#include "calibration/report_page.h"
#include "calibration/session_file.h"
#include "pdf/pdf_writer.h"
#include "pdf/system_font.h"

namespace velkon::calibration {

std::optional<std::string> write_report_pdf(const Session& session,
                                            const std::filesystem::path& path) {
    const pdf::ReportFont font = pdf::find_report_font();
    if (!font.face) return font.error;
    const pdf::FontFace& face = *font.face;
    // The font draws bold as stroked outlines, as wide as the regular ones.
    const pdf::Document doc = report_document(
        session,
        [&face](std::string_view text, double size, bool) { return face.width(text, size); });
    // Written whole, as every other file of ours: a failed write leaves the old file.
    return write_export(path, pdf::write_pdf(doc, face));
}

}  // namespace velkon::calibration
