// Saves a picture of the tank calibration window with a finished table, taken against the
// simulator's lying-cylinder tank: ten pours of 20 l, each point recorded once the level settled.
// The exchange runs for real over a pseudo-terminal; the simulated time moves 500 ms with every
// request and the calibration's clock with it, so the run takes seconds.
//
//     QT_QPA_PLATFORM=offscreen velkon-calibration-shot docs/window-calibration.png
#include <QApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <chrono>
#include <cstdio>
#include <memory>

#include "app/configurator.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "sim/pty_server.h"
#include "ui/app_look.h"
#include "ui/calibration_window.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"

namespace {

// Message boxes go to standard error: nobody is there to press OK.
class PrintedDialogs : public velkon::Dialogs {
  public:
    void message(const std::string& text, Icon, const std::string&) override {
        std::fprintf(stderr, "message: %s\n", text.c_str());
    }
    bool yes_no(const std::string& text) override {
        std::fprintf(stderr, "question (yes): %s\n", text.c_str());
        return true;
    }
    std::string input(const std::string&, const std::string&, const std::string&) override {
        return {};
    }
};

class NoPorts : public velkon::PortLister {
  public:
    std::vector<velkon::PortEntry> list() override { return {}; }
};

// A fixed date on the picture; the time runs only as this program ticks it.
class FixedClock : public velkon::Clock {
  public:
    std::string now_text() override { return "10.12.2026 09:15:30"; }
    std::chrono::milliseconds monotonic() override { return now; }
    std::chrono::milliseconds now{0};
};

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FILE.png\n", argv[0]);
        return 2;
    }
    velkon::ui::apply_application_look(qt);

    velkon::sim::PtyServer server;
    server.with_device([](velkon::sim::Device& d) {
        d.sensor().tank = velkon::sim::Tank(200, velkon::sim::TankShape::Cylinder);
        d.sensor().fuel_ppm = 0;
    });
    if (!server.start()) {
        std::fprintf(stderr, "cannot start the simulator: %s\n", server.error().c_str());
        return 1;
    }
    char folder_pattern[] = "/tmp/velkon-shot-XXXXXX";
    if (!mkdtemp(folder_pattern)) return 1;

    velkon::WindowModel model;
    const auto port = velkon::make_serial_port();
    NoPorts ports;
    PrintedDialogs dialogs;
    FixedClock clock;
    velkon::SyncIoRunner reader;
    velkon::Configurator configurator(
        model, velkon::ConfiguratorSeams{*port, ports, dialogs, clock, reader, folder_pattern});
    velkon::ui::MainWindow window(model, configurator);
    configurator.start();
    model.set_timer_enabled(velkon::ctl::Timer1, false);
    model.set_items(velkon::ctl::CmbPort, {server.slave_path()});
    model.set_selected(velkon::ctl::CmbPort, 0);
    configurator.connection().open_link();
    // The window's own timers stay off: this program ticks the exchange itself.
    model.set_timer_enabled(velkon::ctl::TMRComm, false);
    window.show();

    velkon::ui::CalibrationWindow calibration(model, {dialogs, clock, folder_pattern, "."},
                                              &window);
    calibration.show();
    auto& presenter = calibration.presenter();
    auto tick = [&] {
        configurator.exchange().start_tick();
        clock.now += std::chrono::milliseconds(500);
        presenter.sample();
        QApplication::processEvents();
    };
    for (int i = 0; i < 4; ++i) tick();
    presenter.type(velkon::calibration::Field::Tank, "200");
    presenter.leave(velkon::calibration::Field::Tank);
    presenter.click(velkon::calibration::Button::Start);
    for (int pour = 0; pour < 10; ++pour) {
        server.with_device([](velkon::sim::Device& d) { d.sensor().tank->pour(20); });
        presenter.click(velkon::calibration::Button::Record);
        for (int ticks = 0; presenter.calibration().waiting() && ticks < 200; ++ticks) tick();
    }
    // The last point re-measured, so the strip shows the settling band and the countdown.
    presenter.select(9);
    presenter.click(velkon::calibration::Button::Remeasure);
    for (int i = 0; i < 9; ++i) tick();
    QApplication::processEvents();

    const bool saved = calibration.grab().save(argv[1], "PNG");
    std::printf("%s %s\n", saved ? "saved" : "could not save", argv[1]);
    configurator.connection().close_link();
    std::filesystem::remove_all(folder_pattern);
    return saved ? 0 : 1;
}
