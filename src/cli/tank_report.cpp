// velkon-cli tank report SESSION -o FILE.pdf|FILE.csv: the calibration report of a saved session
// (a .tarirovka file or a CSV table) without the window and without a port.
#include "calibration/report_pdf.h"
#include "calibration/session_file.h"
#include "cli/commands.h"
#include "files/file_error.h"

namespace velkon::cli {

namespace {

bool ends_with(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    std::string tail = text.substr(text.size() - end.size());
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == end;
}

}  // namespace

int run_tank_report(CliTool& tool, const CommandLine& line) {
    if (!line.output) return tool.usage_error("Укажите файл отчёта: -o ФАЙЛ.pdf или -o ФАЙЛ.csv.");
    const std::string& output = *line.output;
    const bool pdf = ends_with(output, ".pdf");
    if (!pdf && !ends_with(output, ".csv"))
        return tool.usage_error("Отчёт пишется в файл .pdf или .csv, а не в " + in_quotes(output) +
                                ".");
    const calibration::Loaded loaded = calibration::load_file(path_from_utf8(line.args[0]));
    if (!loaded.session) {
        tool.err() << loaded.error << "\n";
        return kBadInput;
    }
    const std::optional<std::string> error =
        pdf ? calibration::write_report_pdf(*loaded.session, path_from_utf8(output))
            : calibration::write_export(path_from_utf8(output),
                                        calibration::csv_text(*loaded.session, ','));
    if (error) {
        tool.err() << *error << "\n";
        return kOutputFailed;
    }
    return kDone;
}

}  // namespace velkon::cli
