// The whole program as a service engineer uses it: the real window on the offscreen platform, the
// real serial driver and port list, the exchange reads on their worker thread, and the simulated
// sensor and tracker on a pseudo-terminal. Every step goes through the window's own widgets and
// waits for what the window shows; only the dialogs, the clock and the program folder are
// scripted.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "app/configurator.h"
#include "model/window_model.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"
#include "sim/pty_server.h"
#include "support/form_fixture.h"
#include "support/test_support.h"
#include "ui/main_window.h"
#include "ui/qt_io_runner.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;

// Loose: a step takes two or three exchange ticks.
constexpr int kStepTimeoutMs = 5000;
// The exchange tick runs faster than the program's 500 ms so the session takes a few seconds; a
// status line still stands for a whole tick, long enough to be seen between two answers.
constexpr int kTestTickMs = 200;

std::optional<std::string> file_content(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the event loop until `condition` holds or `timeout_ms` passed, looking again every few
// milliseconds (the loop waits for events meanwhile, so timers and the read results run).
bool wait_for(const std::function<bool()>& condition, int timeout_ms) {
    const QDeadlineTimer deadline(timeout_ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// A left-button press and release at the middle of `target`, as the mouse gives them.
void mouse_click(QWidget* target) {
    const QPointF at = QRectF(target->rect()).center();
    const QPointF global = target->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

void key_press(QWidget* target, int key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
}

bool has_digit(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

// Starts the simulator; its port, which the port list must show, or nothing.
std::optional<std::string> started_port(sim::PtyServer& server) {
    if (!server.start()) return std::nullopt;
    return server.slave_path();
}

// The program's parts as main() wires them, with scripted dialogs, clock and program folder.
struct Session {
    sim::PtyServer server;
    test::ScopedEnv extra_ports;
    test::TempDir folder;
    WindowModel model;
    std::unique_ptr<SerialPort> port = make_serial_port();
    std::unique_ptr<PortLister> lister = make_system_port_lister();
    testing::ScriptedDialogs dialogs;
    testing::FixedClock clock;
    std::unique_ptr<QtIoRunner> reader = std::make_unique<QtIoRunner>();
    Configurator app{model,
                     ConfiguratorSeams{*port, *lister, dialogs, clock, *reader, folder.path()}};
    std::unique_ptr<ui::MainWindow> window;
    bool ended = false;

    Session() : extra_ports("VELKON_EXTRA_PORTS", started_port(server)) {
        app.shell().on_end_program = [this] { ended = true; };
        window = std::make_unique<ui::MainWindow>(model, app);
    }
    ~Session() {
        // As in main(): the port is closed first, then no queued read may reach the handlers.
        if (window && window->isVisible()) window->close();
        reader.reset();
        window.reset();
    }

    template <typename W = QWidget>
    W* widget(ControlName name) {
        return qobject_cast<W*>(window->widget(name));
    }
    QString text(ControlName name) {
        QWidget* w = window->widget(name);
        if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
        if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
        if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentText();
        return {};
    }
    void click(ControlName name) {
        QWidget* target = widget(name);
        ASSERT_NE(target, nullptr) << name;
        // Only what the user can reach: a hidden or greyed control takes no click.
        ASSERT_TRUE(target->isVisible() && target->isEnabled()) << name;
        mouse_click(target);
    }
    // Replaces the text of a box by typing, as the keyboard would.
    void type_over(ControlName name, const QString& text) {
        auto* edit = widget<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        key_press(edit, Qt::Key_Backspace);
        for (const QChar ch : text) key_press(edit, 0, QString(ch));
    }
    bool wait(const std::function<bool()>& condition) {
        return wait_for(condition, kStepTimeoutMs);
    }
    bool wait_status(const QString& status) {
        return wait([&] { return text(ctl::MsgCom) == status; });
    }
    // Waits until `count` more requests were answered and the window has dealt with them: a tick
    // writes its request only after showing the answer to the one before.
    bool wait_requests(std::uint64_t count) {
        const std::uint64_t target = server.requests() + count;
        return wait([&] { return server.requests() >= target; });
    }
    void shot(const char* file) {
        const char* folder_env = getenv("VELKON_UI_SHOTS");
        if (!folder_env || !*folder_env) return;
        QDir().mkpath(folder_env);
        const QString path = QDir(folder_env).filePath(file);
        EXPECT_TRUE(window->grab().save(path, "PNG")) << path.toStdString();
    }
};

TEST(Session, ServiceEngineerWalksThroughEveryPage) {
    Session s;
    ASSERT_FALSE(s.server.slave_path().empty()) << s.server.error();
    const sim::Device initial = s.server.device();
    const QString pty = QString::fromStdString(s.server.slave_path());

    s.app.start();
    s.window->show();
    ASSERT_TRUE(s.window->isVisible());

    // 1. The scan lists the simulator's port; pick it and open it.
    auto* ports_box = s.widget<QComboBox>(ctl::CmbPort);
    ASSERT_NE(ports_box, nullptr);
    ASSERT_TRUE(s.wait([&] { return ports_box->findText(pty) >= 0; }));
    const int entry = ports_box->findText(pty);
    ports_box->setCurrentIndex(entry);
    emit ports_box->activated(entry);
    s.shot("start.png");
    s.click(ctl::BTNOpenCom);
    ASSERT_TRUE(s.port->is_open());
    EXPECT_FALSE(s.widget(ctl::BTNOpenCom)->isEnabled());
    EXPECT_FALSE(s.window->timer(ctl::Timer1)->isActive());
    s.window->timer(ctl::TMRComm)->setInterval(kTestTickMs);

    // 2. Page "Датчик" shows the readings.
    ASSERT_TRUE(s.wait_status("Получены данные."));
    EXPECT_TRUE(has_digit(s.text(ctl::tek))) << s.text(ctl::tek).toStdString();
    EXPECT_TRUE(has_digit(s.text(ctl::uroven))) << s.text(ctl::uroven).toStdString();
    EXPECT_TRUE(s.widget<QAbstractButton>(ctl::usredn)->isChecked());  // the unit's mode 0x08
    s.shot("sensor.png");

    // 3. The full-level calibration, confirmed.
    s.dialogs.answers = {true};
    s.click(ctl::hig);
    EXPECT_TRUE(s.wait_status(" Установлен верхний уровень."));
    EXPECT_EQ(s.dialogs.questions.size(), 1u);
    EXPECT_NE(s.server.device().sensor().full_value, initial.sensor().full_value);

    // 4. A new mode: smoothing off.
    s.click(ctl::usredn);
    ASSERT_FALSE(s.widget<QAbstractButton>(ctl::usredn)->isChecked());
    s.dialogs.answers = {true};
    s.click(ctl::Set_mode);
    EXPECT_TRUE(s.wait_status(" Установлен новый режим."));
    EXPECT_EQ(s.server.device().sensor().mode, 0x00);

    // 5. Page "Трекер" reads the configuration, then shows the live data.
    auto* pages = s.widget<QTabWidget>(ctl::SSTab1);
    ASSERT_NE(pages, nullptr);
    pages->setCurrentIndex(1);
    const sim::TrackerState& unit = initial.tracker();
    EXPECT_TRUE(s.wait([&] {
        return s.text(ctl::apn) == QString::fromStdString(unit.config.apn) &&
               s.text(ctl::sputn) == QString::number(unit.live.satellites);
    }));
    EXPECT_EQ(s.text(ctl::ip_serv).toStdString(), unit.config.server);
    EXPECT_EQ(s.text(ctl::port_serv).toStdString(), unit.config.port);
    EXPECT_EQ(s.text(ctl::gsm), QString::number(unit.live.gsm));
    EXPECT_TRUE(s.wait_status("Получены данные"));
    s.shot("tracker.png");

    // 6. Page "Сервер": the record is read again, edited, written and read back.
    pages->setCurrentIndex(2);
    ASSERT_TRUE(s.wait([&] { return s.model.vars.last_tab == 2; }));
    ASSERT_TRUE(s.wait_requests(2));  // the page's read has been shown
    s.type_over(ctl::apn, "m2m.example");
    ASSERT_EQ(s.model.text(ctl::apn), "m2m.example");
    s.click(ctl::setdata);
    const std::filesystem::path copy = s.folder.path() / "123.cfg";
    EXPECT_TRUE(s.wait([&] { return s.server.device().tracker().config.apn == "m2m.example"; }));
    // The copy is kept once the window has the unit's acknowledgement.
    EXPECT_TRUE(s.wait([&] { return file_content(copy).has_value(); }));
    const auto written = file_content(copy);
    ASSERT_TRUE(written) << copy;
    EXPECT_EQ(written->size(), 169u);
    EXPECT_NE(written->find("m2m.example"), std::string::npos);

    s.type_over(ctl::apn, "stale");
    EXPECT_TRUE(s.widget(ctl::changed_mark)->isVisible());
    s.dialogs.answers = {true};  // «Читать» asks before replacing the unwritten edit
    s.click(ctl::readdata);
    EXPECT_TRUE(s.wait([&] { return s.text(ctl::apn) == "m2m.example"; }));
    EXPECT_FALSE(s.widget(ctl::changed_mark)->isVisible());
    EXPECT_EQ(s.text(ctl::ip_serv).toStdString(), unit.config.server);
    s.shot("server.png");

    // 7. IMEI and SIM, then the binding of a serial number to them in the day file.
    s.click(ctl::rd_imei);
    EXPECT_TRUE(s.wait([&] {
        return s.text(ctl::imei).toStdString() == unit.imei &&
               s.text(ctl::nsim).toStdString() == unit.sim;
    }));
    s.dialogs.inputs = {"100500"};
    EXPECT_TRUE(s.app.fire(ctl::sl3));  // a hidden control: no widget to click
    const auto day = file_content(s.model.vars.day_file);
    ASSERT_TRUE(day) << s.model.vars.day_file;
    EXPECT_NE(day->find("100500;" + unit.sim + ";" + unit.imei + "\r\n"), std::string::npos);
    EXPECT_TRUE(s.dialogs.messages.empty()) << s.dialogs.messages.front().text;

    // 8. The adapter is unplugged: the link closes with the message, the window stays usable.
    s.server.stop();
    ASSERT_TRUE(s.wait([&] { return !s.dialogs.messages.empty(); }));
    EXPECT_EQ(s.dialogs.texts(), std::vector<std::string>{"Ошибка записи в порт"});
    EXPECT_FALSE(s.port->is_open());
    EXPECT_TRUE(s.widget(ctl::BTNOpenCom)->isEnabled());
    EXPECT_FALSE(s.window->timer(ctl::TMRComm)->isActive());
    EXPECT_TRUE(s.window->timer(ctl::Timer1)->isActive());
    pages->setCurrentIndex(0);
    EXPECT_TRUE(s.wait([&] { return s.text(ctl::tek) == "Нет данных"; }));

    // 9. Closing the window releases the port and ends the program.
    EXPECT_TRUE(s.window->close());
    EXPECT_TRUE(s.ended);
    EXPECT_FALSE(s.port->is_open());
    EXPECT_EQ(s.dialogs.questions.size(), 3u);
}

}  // namespace
}  // namespace velkon
