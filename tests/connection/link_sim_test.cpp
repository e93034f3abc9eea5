// The window with the real serial driver on a pseudo-terminal, the simulated devices at the far
// end: open, readings, version, unplug, reopen. Reads run synchronously on the test's thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "app/configurator.h"
#include "sim/pty_server.h"
#include "support/form_fixture.h"
#include "support/test_support.h"

namespace velkon {
namespace {

using testing::FixedClock;

using testing::ScriptedDialogs;

struct SimLink {
    test::TempDir folder;
    WindowModel model;
    std::unique_ptr<SerialPort> port = make_serial_port();
    std::unique_ptr<PortLister> lister = make_system_port_lister();
    ScriptedDialogs dialogs;
    FixedClock clock;
    SyncIoRunner reader;
    Configurator app{model,
                     ConfiguratorSeams{*port, *lister, dialogs, clock, reader, folder.path()}};

    // Scans with `path` among the extra ports, picks it by name and opens it.
    bool open(const std::string& path) {
        test::ScopedEnv extra("VELKON_EXTRA_PORTS", path);
        app.connection().scan_ports();
        const auto& items = model.items(ctl::CmbPort);
        const auto it = std::find(items.begin(), items.end(), path);
        if (it == items.end()) return false;
        model.set_selected(ctl::CmbPort, static_cast<int>(it - items.begin()));
        app.connection().open_link();
        return port->is_open();
    }
    // Ticks until the window shows the readings, at most `ticks` times.
    bool tick_until_readings(int ticks) {
        for (int i = 0; i < ticks; ++i) {
            app.exchange().start_tick();
            if (model.text(ctl::MsgCom) == "Получены данные.") return true;
        }
        return false;
    }
};

TEST(LinkWithSimulator, OpenShowReadingsAndVersionUnplugAndReopen) {
    auto server = std::make_unique<sim::PtyServer>();
    ASSERT_TRUE(server->start()) << server->error();
    SimLink w;
    w.app.start();
    ASSERT_TRUE(w.open(server->slave_path()));
    EXPECT_TRUE(w.dialogs.messages.empty());
    EXPECT_TRUE(w.model.timer_enabled(ctl::TMRComm));

    // The first tick asks the sensor for its version, the next shows it: the controls that
    // need newer firmware wake up within two ticks of the open. The third shows the readings.
    EXPECT_FALSE(w.model.enabled(ctl::D_4096));
    w.app.exchange().start_tick();
    w.app.exchange().start_tick();
    const sim::SensorState sensor = server->device().sensor();
    EXPECT_EQ(w.model.text(ctl::sn), std::to_string(sensor.serial));
    EXPECT_EQ(w.model.text(ctl::vv), "1.6.3.");
    EXPECT_TRUE(w.model.enabled(ctl::R_a));
    EXPECT_TRUE(w.model.enabled(ctl::R_p));
    EXPECT_TRUE(w.model.enabled(ctl::D_4096));
    ASSERT_TRUE(w.tick_until_readings(1)) << w.model.text(ctl::MsgCom);
    EXPECT_EQ(w.model.text(ctl::lo), std::to_string(sensor.empty_value));
    EXPECT_EQ(w.model.text(ctl::hi), std::to_string(sensor.full_value));
    EXPECT_EQ(w.model.text(ctl::ne), std::to_string(sensor.address));
    EXPECT_NE(w.model.text(ctl::tek), "нет данных");
    EXPECT_EQ(w.model[ctl::Pic].color, kLampRed);
    EXPECT_TRUE(w.model.checked(ctl::usredn));  // the simulator's mode byte, shown once
    EXPECT_FALSE(w.model.vars.mode_yes);

    // Selecting another address asks that sensor for its version.
    server->with_device([](sim::Device& d) { d.sensor().serial = 777; });
    w.model.set_items(ctl::CmbNet, {"0", "1"});
    w.model.set_selected(ctl::CmbNet, 1);
    w.app.exchange().start_tick();  // sends the version request
    w.app.exchange().start_tick();  // shows its answer
    EXPECT_EQ(w.model.text(ctl::sn), "777");

    // Unplug: the next tick cannot write and closes the link; the window goes on scanning.
    server->stop();
    w.app.exchange().start_tick();
    EXPECT_EQ(w.dialogs.texts(), std::vector<std::string>{"Ошибка записи в порт"});
    EXPECT_FALSE(w.port->is_open());
    EXPECT_FALSE(w.model.timer_enabled(ctl::TMRComm));
    EXPECT_TRUE(w.model.timer_enabled(ctl::Timer1));
    EXPECT_TRUE(w.model.enabled(ctl::BTNOpenCom));
    EXPECT_EQ(w.model.text(ctl::tek), "Нет данных");
    EXPECT_EQ(w.model[ctl::Pic].color, kLampYellow);
    EXPECT_FALSE(w.app.exchange().tick_in_progress());
    w.app.connection().scan_ports();

    // Plugged in again (a new line): open and readings as before.
    server = std::make_unique<sim::PtyServer>();
    ASSERT_TRUE(server->start()) << server->error();
    ASSERT_TRUE(w.open(server->slave_path()));
    EXPECT_TRUE(w.model.enabled(ctl::SSTab1));
    EXPECT_FALSE(w.model.enabled(ctl::D_4096));  // closing disabled it; the new link asks again
    EXPECT_TRUE(w.tick_until_readings(3)) << w.model.text(ctl::MsgCom);
    EXPECT_TRUE(w.model.enabled(ctl::D_4096));
    EXPECT_EQ(w.dialogs.messages.size(), 1u);
}

TEST(LinkWithSimulator, SilentDeviceThenRecoveryAndTrackerPages) {
    sim::PtyServer server;
    ASSERT_TRUE(server.start()) << server.error();
    SimLink w;
    w.app.start();
    ASSERT_TRUE(w.open(server.slave_path()));
    ASSERT_TRUE(w.tick_until_readings(3));

    server.set_faults({.silent = true});
    w.app.exchange().start_tick();  // reads the answer to the request sent before the fault
    w.app.exchange().start_tick();
    EXPECT_EQ(w.model.text(ctl::MsgCom), "Датчик не отвечает");
    EXPECT_EQ(w.model.text(ctl::imei), "NOT READ");

    server.set_faults({});
    w.app.exchange().start_tick();  // sends a request that is answered
    w.app.exchange().start_tick();
    EXPECT_EQ(w.model.text(ctl::MsgCom), "Получены данные.");

    // Page "Сервер": the configuration is read, then the live data follows.
    w.model.set_tab(2);
    w.app.exchange().start_tick();  // shows the last readings, sends the configuration read
    w.app.exchange().start_tick();  // shows the configuration, sends the live-data request
    EXPECT_EQ(w.model.text(ctl::MsgCom), "Чтение");
    w.app.exchange().start_tick();
    EXPECT_EQ(w.model.text(ctl::MsgCom), "Получены данные");
    EXPECT_TRUE(w.dialogs.messages.empty());
}

}  // namespace
}  // namespace velkon
