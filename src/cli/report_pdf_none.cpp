#include "cli/report_pdf.h"

namespace velkon::cli {

decltype(CliSeams::write_report_pdf) report_pdf_writer() {
    return {};
}

}  // namespace velkon::cli
