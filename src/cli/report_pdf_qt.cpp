#include <QGuiApplication>
#include <cstdlib>
#include <memory>

#include "cli/report_pdf.h"
#include "ui/calibration_report.h"

namespace velkon::cli {

decltype(CliSeams::write_report_pdf) report_pdf_writer() {
    return [](const calibration::Session& session, const std::filesystem::path& path) {
        // Qt's notes (no runtime folder, a font substituted) are not the engineer's business on
        // a command line whose messages are ours; a failure is reported in our words.
        const QtMessageHandler before =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        // Fonts and the painter need a GUI application, never a screen.
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "velkon-cli";
        static char* argv[] = {name, nullptr};
        // Made for this report and gone with it: an application left to the static destructors
        // outlives the platform plugin it needs and crashes the exit.
        std::unique_ptr<QGuiApplication> app;
        if (!QGuiApplication::instance()) app = std::make_unique<QGuiApplication>(argc, argv);
        auto error = ui::write_report_pdf(session, path);
        app.reset();
        qInstallMessageHandler(before);
        return error;
    };
}

}  // namespace velkon::cli
