#include "win32/report_pdf.h"

namespace velkon::win32 {

std::optional<std::string> write_report_pdf(const calibration::Session&,
                                            const std::filesystem::path&) {
    return "Отчёт в PDF в этой версии не создаётся.";
}

}  // namespace velkon::win32
