// The Win32 calibration window against the simulator's tank: the script that runs these tests
// maps VELKON_TEST_TANK_COM to a simulator with a 100-litre tank, and VELKON_TEST_TANK_POUR names
// the pipe its "pour N" lines go to. The main window polls the sensor through the real driver;
// the calibration window samples what it shows, as in the program.
#include "win32/calibration_window.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "app/configurator.h"
#include "calibration/session_file.h"
#include "serial/serial_port.h"
#include "support/stand_ins.h"
#include "win32/io_runner.h"
#include "win32/main_window.h"
#include "win32/text.h"

namespace velkon::win32 {
namespace {

namespace cal = velkon::calibration;

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Runs the window's messages until `done`, for at most a minute of waiting: a bound against a
// hang, far above what any step takes, not a measure of speed.
template <class Pred>
bool run_until(Pred done) {
    for (int waits = 0; !done() && waits < 600; ++waits) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return done();
}

// The program's pieces, wired as the program wires them, on the real driver.
struct TankRig : testing::StandIns {
    std::unique_ptr<SerialPort> port = make_serial_port();
    Win32IoRunner reader;
    Configurator app{model, seams(*port, reader)};
    MainWindow window{model, app};
    CalibrationWindow calibration{model, {dialogs, clock, folder.path(), {}, 100}, window.hwnd()};

    TankRig() {
        app.on_calibration = [this] { calibration.open(); };
        app.start();
    }
    ~TankRig() { app.request_close(); }

    void pour(int litres) {
        // The pipe lives in the Linux file system, which wine shows as drive Z:.
        std::ofstream pipe(std::filesystem::path("Z:" + env("VELKON_TEST_TANK_POUR")));
        pipe << "pour " << litres << "\n";
    }
    void type(const char* field, const char* text) {
        SetWindowTextW(calibration.control(field), widen(text).c_str());
    }
    void click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }
};

TEST(Win32Calibration, RecordsPointsFromTheSimulatorsTankAndExportsThem) {
    const std::string com = env("VELKON_TEST_TANK_COM");
    ASSERT_FALSE(com.empty() || env("VELKON_TEST_TANK_POUR").empty())
        << "VELKON_TEST_TANK_COM and VELKON_TEST_TANK_POUR are not set: run the tests through "
           "scripts/test-windows";
    TankRig rig;
    rig.model.set_items(ctl::CmbPort, {com});
    rig.model.set_selected(ctl::CmbPort, 0);
    rig.click(rig.window.control(ctl::BTNOpenCom));
    ASSERT_TRUE(rig.port->is_open()) << describe_open_error(rig.port->last_open_error(), com);
    ASSERT_TRUE(
        run_until([&] { return cal::read_feed(rig.model).state == cal::Feed::State::Reading; }));

    // «Тарировка…» on the main window opens «Тарировка бака» over it.
    rig.click(rig.window.control(ctl::tarirovka));
    ASSERT_TRUE(rig.calibration.is_open());
    EXPECT_EQ(window_text(rig.calibration.hwnd()), "Тарировка бака");
    EXPECT_FALSE(IsWindowEnabled(rig.window.hwnd()));

    rig.type("portion", "20");
    rig.type("tank", "100");
    rig.type("settle_seconds", "2");
    rig.type("settle_band", "12");
    rig.click(rig.calibration.control("start"));
    ASSERT_TRUE(rig.calibration.calibration().active())
        << (rig.dialogs.messages.empty() ? "" : rig.dialogs.messages[0].text);
    const auto points = [&] { return rig.calibration.calibration().session().points().size(); };

    // The starting point (counted as 0 l), taken with «Записать точку» after some fuel went in:
    // the countdown runs until the level has settled.
    rig.pour(20);
    rig.click(rig.calibration.control("record"));
    EXPECT_EQ(window_text(rig.calibration.control("record")), "Отменить ожидание");
    ASSERT_TRUE(run_until([&] {
        return window_text(rig.calibration.control("wait")).find("осталось") != std::string::npos;
    }));
    ASSERT_TRUE(run_until([&] { return points() == 1; }));
    const double first_level = rig.calibration.calibration().session().points()[0].level;

    // A second pour, taken at once when the window has seen the level rise.
    rig.pour(20);
    const auto seen = [&] { return rig.calibration.calibration().feed().level; };
    ASSERT_TRUE(run_until([&] { return seen() > first_level + 100; }))
        << "first point at " << first_level << ", level now " << seen();
    rig.click(rig.calibration.control("record_now"));
    ASSERT_EQ(points(), 2u);
    EXPECT_EQ(SendMessageW(rig.calibration.control("points"), LVM_GETITEMCOUNT, 0, 0), 2);
    const auto& table = rig.calibration.calibration().session().points();
    EXPECT_EQ(table[0].volume, 0.0);  // the starting volume
    EXPECT_EQ(table[1].volume, 20.0);
    EXPECT_GT(table[1].level, table[0].level);

    // The session file is in the program folder; the export is a CSV with both points.
    const auto session_file = rig.calibration.calibration().file();
    EXPECT_EQ(session_file.parent_path(), rig.folder.path() / cal::kSessionFolder);
    EXPECT_TRUE(std::filesystem::exists(session_file));
    const auto csv = rig.folder.path() / L"таблица.csv";
    rig.calibration.export_to(csv);
    EXPECT_TRUE(rig.dialogs.messages.empty());
    const cal::Loaded loaded = cal::load_file(csv);
    ASSERT_TRUE(loaded.session) << loaded.error;
    EXPECT_EQ(loaded.session->points().size(), 2u);

    // Esc closes it and gives the main window back.
    MSG esc{GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    SetFocus(rig.calibration.control("points"));
    esc.hwnd = GetFocus();
    rig.calibration.dialog_message(esc);
    EXPECT_FALSE(rig.calibration.is_open());
    EXPECT_TRUE(IsWindowEnabled(rig.window.hwnd()));
}

}  // namespace
}  // namespace velkon::win32
