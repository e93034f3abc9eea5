// The Win32 calibration window. Against the simulator's tank: the script that runs these tests
// maps VELKON_TEST_TANK_COM to a simulator with a 100-litre tank, and VELKON_TEST_TANK_POUR names
// the pipe its "pour N" lines go to; the main window polls the sensor through the real driver and
// the calibration window samples what it shows, as in the program. Alone over a model the test
// fills: the wiring, the controls' messages reach the presenter (fields typed and left, buttons,
// Enter, Delete and Ctrl+Z, rows chosen, the platform's format) and its view reaches the
// controls. What the window does is the presenter's, tested in tests/calibration.
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
#include "files/file_error.h"
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

// The program's pieces, wired as the program wires them, on the real driver and the real clock.
struct TankRig : testing::StandIns {
    std::unique_ptr<SerialPort> port = make_serial_port();
    Win32IoRunner reader;
    Configurator app{model, seams(*port, reader)};
    MainWindow window{model, app};
    SystemClock real_clock;
    CalibrationWindow calibration{
        model, {dialogs, real_clock, folder.path(), ".", 100}, window.hwnd()};

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
    const cal::Calibration& calibration = rig.calibration.presenter().calibration();
    ASSERT_TRUE(calibration.active())
        << (rig.dialogs.messages.empty() ? "" : rig.dialogs.messages[0].text);
    const auto points = [&] { return calibration.session().points().size(); };

    // The starting point (counted as 0 l), taken with «Записать точку» after some fuel went in:
    // the countdown runs until the level has settled.
    rig.pour(20);
    rig.click(rig.calibration.control("record"));
    EXPECT_EQ(window_text(rig.calibration.control("record")), "Отменить ожидание");
    ASSERT_TRUE(run_until([&] {
        return window_text(rig.calibration.control("wait")).find("осталось") != std::string::npos;
    }));
    ASSERT_TRUE(run_until([&] { return points() == 1; }));
    const double first_level = calibration.session().points()[0].level;

    // A second pour, taken at once when the window has seen the level rise.
    rig.pour(20);
    const auto seen = [&] { return calibration.feed().level; };
    ASSERT_TRUE(run_until([&] { return seen() > first_level + 100; }))
        << "first point at " << first_level << ", level now " << seen();
    rig.click(rig.calibration.control("record_now"));
    ASSERT_EQ(points(), 2u);
    EXPECT_EQ(SendMessageW(rig.calibration.control("points"), LVM_GETITEMCOUNT, 0, 0), 2);
    const auto& table = calibration.session().points();
    EXPECT_EQ(table[0].volume, 0.0);  // the starting volume
    EXPECT_EQ(table[1].volume, 20.0);
    EXPECT_GT(table[1].level, table[0].level);

    // The session file is in the program folder; the export is a CSV with both points.
    const auto session_file = calibration.file();
    EXPECT_EQ(session_file.parent_path(), rig.folder.path() / cal::kSessionFolder);
    EXPECT_TRUE(std::filesystem::exists(session_file));
    const auto csv = rig.folder.path() / L"таблица.csv";
    rig.dialogs.files = {csv};
    rig.click(rig.calibration.control("export"));
    EXPECT_TRUE(rig.dialogs.messages.empty());
    const cal::Loaded loaded = cal::load_file(csv);
    ASSERT_TRUE(loaded.session) << loaded.error;
    EXPECT_EQ(loaded.session->points().size(), 2u);

    // Esc closes it and gives the main window back.
    SetFocus(rig.calibration.control("points"));
    MSG esc{GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    rig.calibration.dialog_message(esc);
    EXPECT_FALSE(rig.calibration.is_open());
    EXPECT_TRUE(IsWindowEnabled(rig.window.hwnd()));
}

// The window alone over a model the test fills: no port, no timer that fires during a test
// (its interval is an hour), every look at the levels on the test's own clock.
struct TableRig : testing::StandIns {
    CalibrationWindow calibration{model, {dialogs, clock, folder.path(), ",", 3'600'000}, nullptr};

    TableRig() { calibration.open(); }
    ~TableRig() { calibration.close(); }

    HWND operator[](const char* name) const { return calibration.control(name); }
    const cal::CalibrationView& view() { return calibration.presenter().view(); }
    void type(const char* field, const char* text) {
        SetWindowTextW(calibration.control(field), widen(text).c_str());
    }
    void click(const char* button) { SendMessageW(calibration.control(button), BM_CLICK, 0, 0); }
    // The level the main window shows now, taken at once with «Записать сейчас».
    void record_at(int level) {
        model.set_text(ctl::uroven, std::to_string(level));
        ++model.vars.levels_shown;
        clock.since_start += std::chrono::milliseconds(500);
        calibration.presenter().sample();
        click("record_now");
    }
    // A key through the window's keyboard as the program's message loop hands it, Ctrl held or
    // not.
    void key(HWND target, WPARAM key, bool ctrl = false) {
        BYTE keys[256];
        GetKeyboardState(keys);
        BYTE held[256];
        std::copy(std::begin(keys), std::end(keys), held);
        held[VK_CONTROL] = ctrl ? 0x80 : 0;
        SetKeyboardState(held);
        SetFocus(target);
        MSG down{target, WM_KEYDOWN, key, 0, 0, {}};
        if (!calibration.dialog_message(down)) {
            TranslateMessage(&down);
            DispatchMessageW(&down);
        }
        SetKeyboardState(keys);
    }
    void select_row(int row) {
        LVITEMW item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW((*this)["points"], LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
    std::string cell(int row, int column) {
        wchar_t text[64] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW((*this)["points"], LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return narrow(text);
    }
    bool enabled(const char* name) const { return IsWindowEnabled((*this)[name]) != FALSE; }
};

// The list, the labels and the buttons show the view: the separator handed over, the rows, the
// chosen row and its note, which buttons can work.
TEST(Win32Calibration, TheViewReachesTheControls) {
    TableRig r;
    EXPECT_EQ(r.calibration.presenter().decimal(), ',');
    EXPECT_FALSE(r.enabled("export"));
    r.type("portion", "12,5");
    r.click("start");
    ASSERT_TRUE(r.view().active) << (r.dialogs.messages.empty() ? "" : r.dialogs.texts().back());
    for (int level : {10, 100, 50}) r.record_at(level);
    ASSERT_EQ(SendMessageW(r["points"], LVM_GETITEMCOUNT, 0, 0), 3);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(r.cell(row, 0), r.view().rows[row].volume);
        EXPECT_EQ(r.cell(row, 1), r.view().rows[row].level);
        EXPECT_EQ(r.cell(row, 2), r.view().rows[row].check);
    }
    EXPECT_EQ(r.cell(1, 0), "12,5");
    EXPECT_EQ(r.cell(2, 2), "уровень упал");
    EXPECT_EQ(SendMessageW(r["points"], LVM_GETNEXTITEM, -1, LVNI_SELECTED), 2);  // recorded last
    EXPECT_EQ(window_text(r["file"]), r.view().file);
    EXPECT_EQ(window_text(r["wait"]), r.view().wait);
    EXPECT_EQ(window_text(r["live"]), "Уровень 50 (шкала 0…1023)");
    for (std::size_t b = 0; b < cal::kButtonCount; ++b) {
        const std::string name(cal::button_text(cal::Button(b)).name);
        EXPECT_EQ(r.enabled(name.c_str()), r.view().enabled[b]) << name;
    }

    r.select_row(2);
    EXPECT_EQ(r.view().selected, 2u);
    EXPECT_EQ(window_text(r["note"]), r.view().note);
    EXPECT_NE(window_text(r["note"]), "");
    EXPECT_TRUE(r.enabled("edit"));
    // The pictures are painted from the presenter's shapes.
    for (const char* picture : {"plot", "strip"}) {
        InvalidateRect(r[picture], nullptr, FALSE);
        EXPECT_TRUE(UpdateWindow(r[picture])) << picture;
    }
}

// Fields typed and left, Enter, buttons, keys and the format choice go to the presenter.
TEST(Win32Calibration, TheControlsMessagesReachThePresenter) {
    TableRig r;
    r.type("tank", "200");
    r.type("settle_seconds", "5");
    r.click("start");
    const cal::Calibration& calibration = r.calibration.presenter().calibration();
    ASSERT_TRUE(r.view().active);
    EXPECT_EQ(calibration.session().info().tank_volume, 200.0);
    EXPECT_EQ(calibration.session().info().rule.seconds, 5.0);
    for (int level : {10, 100, 190}) r.record_at(level);

    // Enter in a field confirms the field; in the list it starts the wait.
    r.type("portion", "много");
    r.key(r["portion"], VK_RETURN);
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Введите порцию в литрах, например 20."});
    EXPECT_EQ(window_text(r["portion"]), "20");
    EXPECT_FALSE(r.view().waiting);
    r.key(r["points"], VK_RETURN);
    EXPECT_TRUE(r.view().waiting);
    r.click("record");
    EXPECT_FALSE(r.view().waiting);

    // Ctrl+Z and Ctrl+Y in the list undo and redo; in a text field they are the field's.
    r.key(r["points"], 'Z', true);
    EXPECT_EQ(r.view().rows.size(), 2u);
    r.key(r["vehicle"], 'Y', true);
    EXPECT_EQ(r.view().rows.size(), 2u);
    r.key(r["points"], 'Y', true);
    EXPECT_EQ(r.view().rows.size(), 3u);

    // «Изменить…» asks for the chosen point; Delete in the list removes it, asked first.
    r.select_row(1);
    r.dialogs.inputs = {"15", "100"};
    r.dialogs.answers = {true};
    r.click("edit");
    EXPECT_EQ(calibration.session().points(),
              (std::vector<cal::Point>{{0, 10}, {15, 100}, {35, 190}}));
    r.select_row(2);
    r.dialogs.answers = {true};
    r.key(r["points"], VK_DELETE);
    EXPECT_EQ(r.view().rows.size(), 2u);
    ASSERT_EQ(r.dialogs.questions.size(), 2u);
    EXPECT_EQ(r.dialogs.questions[1], "Удалить точку 35 л (уровень 190)? Это можно отменить.");

    const HWND formats = r["platform_format"];
    SendMessageW(formats, CB_SETCURSEL, 3, 0);
    SendMessageW(r.calibration.hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(formats), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(formats));
    EXPECT_EQ(r.view().platform_choice, 3u);
    const auto platform = r.folder.path() / "platform.csv";
    r.dialogs.files = {platform};
    r.click("platform_export");
    EXPECT_TRUE(std::filesystem::exists(platform));
    EXPECT_EQ(window_text(r["note"]),
              "Таблица для платформы сохранена в «" + path_text(platform) + "».");

    // The report's fields go into the session when left, and come back with it.
    r.type("installer", "Петров");
    SetFocus(r["installer"]);
    SetFocus(r["points"]);
    const auto file = calibration.file();
    EXPECT_EQ(cal::load_file(file).session->info().installer, "Петров");
    const auto saved = r.folder.path() / "saved.tarirovka";
    std::filesystem::copy_file(file, saved);
    r.type("installer", "");
    r.type("settle_band", "3");
    SetFocus(r["settle_band"]);
    SetFocus(r["points"]);
    EXPECT_EQ(calibration.session().info().rule.band, 3.0);
    r.calibration.presenter().load_from(saved);
    EXPECT_EQ(window_text(r["installer"]), "Петров");
    EXPECT_EQ(window_text(r["settle_band"]), "2");
    EXPECT_EQ(window_text(r["tank"]), "200");
}

}  // namespace
}  // namespace velkon::win32
