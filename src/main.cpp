// The configurator: the window model, its handlers and the Qt front end, wired to the real
// serial driver, port list, clock and program folder.
//
// Options (the last two for scripts that run it under a virtual display):
//   --help, --version  print and exit, before any display is needed
//   --screenshot FILE  saves the window as a PNG one second after it opened, then closes it
//   --quit-after MS    closes the window MS milliseconds after it opened
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QLocale>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "app/configurator.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "ui/app_look.h"
#include "ui/calibration_window.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_read_runner.h"

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
};

std::optional<Options> parse_options(const QStringList& args) {
    Options options;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool has_value = i + 1 < args.size();
        if (arg == "--screenshot" && has_value) {
            options.screenshot = args[++i];
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

// SIGTERM and SIGINT end the program the same way closing the window does: the handler only
// writes a byte into a socket pair, and the window's thread does the rest between events.
int g_signal_fds[2] = {-1, -1};

void on_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_fds[0], &byte, 1);
}

void end_on_signals(velkon::Configurator& app, QObject& owner) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_fds) != 0) return;
    auto* notifier = new QSocketNotifier(g_signal_fds[1], QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner, [&app] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signal_fds[1], &byte, 1);
        app.terminate();
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    if (answered_without_window(argc, argv)) return 0;
    QApplication app(argc, argv);
    // Lets the desktop match the window to its menu entry and icon.
    QGuiApplication::setDesktopFileName("com.velkon.configurator");
    const auto options = parse_options(QApplication::arguments());
    if (!options) {
        std::fprintf(stderr,
                     "velkon-configurator: неверные параметры. Использование: velkon-configurator "
                     "[--screenshot ФАЙЛ.png] [--quit-after МС]; справка: --help\n");
        return 2;
    }
    velkon::ui::apply_application_look(app);

    velkon::WindowModel model;
    const auto port = velkon::make_serial_port();
    const auto ports = velkon::make_system_port_lister();
    velkon::ui::QtDialogs dialogs;
    velkon::SystemClock clock;
    auto reader = std::make_unique<velkon::QtReadRunner>();
    velkon::Configurator configurator(
        model, velkon::ConfiguratorSeams{*port, *ports, dialogs, clock, *reader,
                                         velkon::default_program_folder(),
                                         QLocale::system().decimalPoint().toStdString()});
    configurator.shell().on_end_program = [] { QCoreApplication::quit(); };

    velkon::ui::MainWindow window(model, configurator);
    dialogs.set_parent(&window);

    // Tank calibration: one window for the whole run, so its session outlives closing it.
    velkon::ui::QtDialogs calibration_dialogs;
    velkon::ui::CalibrationWindow calibration(
        model, {calibration_dialogs, clock, velkon::default_program_folder(), {}}, &window);
    calibration_dialogs.set_parent(&calibration);
    configurator.on_calibration = [&calibration] { calibration.open(); };

    end_on_signals(configurator, window);
    // Whatever ends the event loop (the session ending included) ends the program properly.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                     [&configurator] { configurator.terminate(); });
    configurator.start();
    window.show();
    schedule_scripted_run(*options, window);

    const int status = app.exec();
    // The port is closed by now; a read still queued must not reach the handlers.
    reader.reset();
    return status;
}
