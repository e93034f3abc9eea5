#include "cli/tank_report.h"

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "calibration/session_file.h"
#include "ui/calibration_report.h"

namespace velkon::cli {

namespace {

constexpr int kDone = 0;
constexpr int kUsage = 2;

bool ends_with(const std::string& text, const std::string& end) {
    if (text.size() < end.size()) return false;
    std::string tail = text.substr(text.size() - end.size());
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == end;
}

}  // namespace

int run_tank(const std::vector<std::string>& args, std::ostream& err) {
    const std::string usage =
        "Использование: velkon-cli tank report СЕАНС.tarirovka -o ФАЙЛ.pdf (или ФАЙЛ.csv)\n";
    if (args.size() != 5 || args[1] != "report" || args[3] != "-o") {
        err << usage;
        return kUsage;
    }
    const std::string& output = args[4];
    const bool pdf = ends_with(output, ".pdf");
    if (!pdf && !ends_with(output, ".csv")) {
        err << "Отчёт пишется в файл .pdf или .csv, а не в «" << output << "».\n" << usage;
        return kUsage;
    }
    const calibration::Loaded loaded = calibration::load_file(args[2]);
    if (!loaded.session) {
        err << loaded.error << '\n';
        return kUsage;
    }
    std::optional<std::string> error;
    if (pdf) {
        // Fonts and the painter need a GUI application, never a screen.
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        int argc = 1;
        char name[] = "velkon-cli";
        char* argv[] = {name, nullptr};
        std::unique_ptr<QGuiApplication> app;
        if (!QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
        error = ui::write_report_pdf(*loaded.session, output);
    } else {
        error = calibration::write_export(output, calibration::csv_text(*loaded.session, ','));
    }
    if (error) {
        err << *error << '\n';
        return kUsage;
    }
    return kDone;
}

}  // namespace velkon::cli
