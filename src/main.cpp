// The configurator: the window model, its handlers and the Qt front end, wired to the real
// serial driver, port list, clock and program folder.
//
// Options (the last two for scripts that run it under a virtual display):
//   --help, --version  print and exit, before any display is needed
//   --screenshot FILE  saves the window as a PNG one second after it opened, then closes it
//   --quit-after MS    closes the window MS milliseconds after it opened
//   --open PORT        picks PORT in the port list once the scan shows it and opens it
#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "app/configurator.h"
#include "base/end_signals.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "ui/app_look.h"
#include "ui/calibration_window.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_io_runner.h"

namespace {

constexpr int kScreenshotDelayMs = 1000;

constexpr const char* kHelp =
    "Использование: velkon-configurator [параметры]\n"
    "Конфигуратор Velkon: настройка телематического блока и его датчика уровня топлива\n"
    "через последовательный порт.\n"
    "\n"
    "Параметры:\n"
    "  -h, --help           показать эту справку и выйти\n"
    "  -V, --version        показать версию и выйти\n"
    "  --screenshot ФАЙЛ    через секунду после открытия окна сохранить его снимок в ФАЙЛ\n"
    "                       (PNG) и закрыть окно\n"
    "  --quit-after МС      закрыть окно через МС миллисекунд после открытия\n"
    "  --open ПОРТ          открыть ПОРТ (имя из списка портов), как только он появится в "
    "списке\n"
    "\n"
    "Окружение:\n"
    "  VELKON_EXTRA_PORTS   дополнительные порты через двоеточие, например порт симулятора\n"
    "                       velkon-sim (/dev/pts/3)\n"
    "\n"
    "Файлы (в $XDG_DATA_HOME/velkon-configurator, обычно ~/.local/share/velkon-configurator):\n"
    "  base/ДДММГГ.dat      файл записей дня (привязка серийных номеров)\n"
    "  123.cfg              последняя конфигурация, записанная в блок\n"
    "\n"
    "Порт открывается, только если пользователь входит в группу порта (обычно dialout):\n"
    "  sudo usermod -aG dialout $USER   и войти в систему заново.\n"
    "Руководство: /usr/share/doc/velkon-configurator/guide.ru.md\n";

// --help and --version are answered before QApplication exists: they need no display.
bool answered_without_window(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("velkon-configurator %s\n", VELKON_VERSION);
            return true;
        }
    }
    return false;
}

struct Options {
    QString screenshot;
    std::optional<int> quit_after_ms;
    QString open_port;
};

constexpr int kOpenLookMs = 50;
constexpr int kOpenLooks = 100;  // the scan lists a port within 100 ms; this is five seconds

std::optional<Options> parse_options(const QStringList& args) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool has_value = i + 1 < args.size();
        if (arg == "--screenshot" && has_value) {
            options.screenshot = args[++i];
        } else if (arg == "--open" && has_value) {
            options.open_port = args[++i];
        } else if (arg == "--quit-after" && has_value) {
            bool ok = false;
            const int ms = args[++i].toInt(&ok);
            if (!ok || ms < 0) return std::nullopt;
            options.quit_after_ms = ms;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

void schedule_scripted_run(const Options& options, QWidget& window) {
    if (!options.screenshot.isEmpty()) {
        const bool close_after = !options.quit_after_ms;
        QTimer::singleShot(kScreenshotDelayMs, &window, [&window, options, close_after] {
            if (window.grab().save(options.screenshot, "PNG")) {
                std::printf("screenshot saved to %s\n", qPrintable(options.screenshot));
            } else {
                std::fprintf(stderr, "could not save the screenshot to %s\n",
                             qPrintable(options.screenshot));
            }
            std::fflush(stdout);
            if (close_after) window.close();
        });
    }
    if (options.quit_after_ms) QTimer::singleShot(*options.quit_after_ms, &window, &QWidget::close);
}

// --open: as if the user picked the port and pressed «Открыть порт» once the scan listed it.
void schedule_open(const Options& options, velkon::WindowModel& model,
                   velkon::Configurator& configurator, QObject& owner) {
    if (options.open_port.isEmpty()) return;
    auto* timer = new QTimer(&owner);
    const std::string name = options.open_port.toStdString();
    QObject::connect(timer, &QTimer::timeout, &owner,
                     [timer, name, &model, &configurator, looks = 0]() mutable {
                         const auto& items = model.items(velkon::ctl::CmbPort);
                         for (std::size_t i = 0; i < items.size(); ++i) {
                             if (items[i] != name) continue;
                             timer->stop();
                             model.set_selected(velkon::ctl::CmbPort, static_cast<int>(i));
                             configurator.fire(velkon::ctl::BTNOpenCom);
                             return;
                         }
                         if (++looks >= kOpenLooks) {
                             timer->stop();
                             std::fprintf(stderr,
                                          "velkon-configurator: порт %s не появился в "
                                          "списке портов\n",
                                          name.c_str());
                         }
                     });
    timer->start(kOpenLookMs);
}

// A signal that ends the program (Ctrl-C, kill, a closed terminal) ends it the way closing the
// window does, at any moment, a modal box open or not: the link is closed (the port gets its
// settings back), every box is cancelled and the event loops end. The handler only writes into
// a pipe; this runs on the window's thread.
void end_on_signals(velkon::EndSignalPipe& pipe, velkon::Configurator& app, QObject& owner) {
    if (!pipe.ok()) return;
    auto* notifier = new QSocketNotifier(pipe.fd(), QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [&pipe, &app] {
        if (pipe.take() == 0) return;
        app.terminate();
        velkon::ui::QtDialogs::close_all_boxes();
        QCoreApplication::quit();
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (answered_without_window(argc, argv)) return 0;
    velkon::ignore_file_size_signal();  // a limit makes a write fail, never half a file
    // From the start: a signal that comes before the event loop runs waits in the pipe.
    velkon::EndSignalPipe end_signals;
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName("com.velkon.configurator");
    const auto options = parse_options(QApplication::arguments());
    if (!options) {
        std::fprintf(stderr,
                     "velkon-configurator: неверные параметры. Использование: velkon-configurator "
                     "[--screenshot ФАЙЛ.png] [--quit-after МС] [--open ПОРТ]; справка: --help\n");
        return 2;
    }
    velkon::ui::apply_application_look(app);

    velkon::WindowModel model;
    const auto port = velkon::make_serial_port();
    const auto ports = velkon::make_system_port_lister();
    velkon::ui::QtDialogs dialogs;
    velkon::SystemClock clock;
    auto port_io = std::make_unique<velkon::QtIoRunner>();
    // The user's decimal separator, for every number both windows show.
    const std::string decimal = QLocale::system().decimalPoint().toStdString();
    velkon::Configurator configurator(
        model, velkon::ConfiguratorSeams{*port, *ports, dialogs, clock, *port_io,
                                         velkon::default_program_folder(), decimal});
    configurator.shell().on_end_program = [] { QCoreApplication::quit(); };

    // The first frame shows the page open at start; the rest of the window follows it.
    velkon::ui::MainWindow window(model, configurator, nullptr,
                                  velkon::ui::MainWindow::Build::FirstFrameFirst);
    dialogs.set_parent(&window);

    // Tank calibration: one window for the whole run, so its session outlives closing it. It is
    // built when first asked for: the main window's first frame does not wait for it.
    velkon::ui::QtDialogs calibration_dialogs;
    std::unique_ptr<velkon::ui::CalibrationWindow> calibration;
    configurator.on_calibration = [&] {
        if (!calibration) {
            calibration = std::make_unique<velkon::ui::CalibrationWindow>(
                model,
                velkon::ui::CalibrationWindow::Seams{calibration_dialogs, clock,
                                                     velkon::default_program_folder(), decimal},
                &window);
            calibration_dialogs.set_parent(calibration.get());
        }
        calibration->open();
    };

    end_on_signals(end_signals, configurator, window);
    // Whatever ends the event loop (the session ending included) ends the program properly.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&configurator] { configurator.terminate(); });
    configurator.start();
    // A signal while a start-up box was open: the program has ended before its event loop.
    if (configurator.shell().program_ended()) return 0;
    window.show();
    schedule_scripted_run(*options, window);
    schedule_open(*options, model, configurator, window);

    const int status = app.exec();
    // The port is closed by now; a read still queued must not reach the handlers.
    port_io.reset();
    return status;
}
