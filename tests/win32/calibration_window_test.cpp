// The Win32 calibration window against the simulator's tank: the script that runs these tests
// maps VELKON_TEST_TANK_COM to a simulator with a 100-litre tank, and VELKON_TEST_TANK_POUR names
// the pipe its "pour N" lines go to. The main window polls the sensor through the real driver;
// the calibration window samples what it shows, as in the program. The installer's changes
// (asked, undone, shifted, exported, reported) are tried on levels the test shows itself, on a
// fixed clock.
#include "win32/calibration_window.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h.
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "app/configurator.h"
#include "calibration/session_file.h"
#include "calibration/window_actions.h"
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

// The window alone over a model the test fills: no port, no timer that fires during a test
// (its interval is an hour), every look at the levels on the test's own clock.
struct TableRig : testing::StandIns {
    std::int64_t now = 0;
    CalibrationWindow calibration{
        model, {dialogs, clock, folder.path(), [this] { return now; }, 3'600'000}, nullptr};
    using Table = std::vector<cal::Point>;

    TableRig() { calibration.open(); }
    ~TableRig() { calibration.close(); }

    HWND operator[](const char* name) const { return calibration.control(name); }
    void type(const char* field, const char* text) {
        SetWindowTextW(calibration.control(field), widen(text).c_str());
    }
    void click(const char* button) { SendMessageW(calibration.control(button), BM_CLICK, 0, 0); }
    // The level the main window shows now, taken at once with «Записать сейчас».
    void record_at(int level) {
        model.set_text(ctl::uroven, std::to_string(level));
        ++model.vars.levels_shown;
        now += 500;
        calibration.sample();
        click("record_now");
    }
    // Ctrl with a key, through the window's keyboard as the program's message loop hands it.
    void ctrl(HWND target, char key) {
        BYTE keys[256];
        GetKeyboardState(keys);
        BYTE held[256];
        std::copy(std::begin(keys), std::end(keys), held);
        held[VK_CONTROL] = 0x80;
        SetKeyboardState(held);
        MSG down{target, WM_KEYDOWN, static_cast<WPARAM>(key), 0, 0, {}};
        if (!calibration.dialog_message(down)) {
            TranslateMessage(&down);
            DispatchMessageW(&down);
        }
        SetKeyboardState(keys);
    }
    const Table& points() { return calibration.calibration().session().points(); }
    bool enabled(const char* name) const { return IsWindowEnabled((*this)[name]) != FALSE; }
    void start_with(std::initializer_list<int> levels) {
        type("portion", "20");
        click("start");
        ASSERT_TRUE(calibration.calibration().active())
            << (dialogs.messages.empty() ? "" : dialogs.messages.back().text);
        for (int level : levels) record_at(level);
    }
    static std::string read_all(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

// A delete or a re-measure refused keeps the point; records and deletes are undone and redone by
// the buttons and by Ctrl+Z / Ctrl+Y alike, the buttons enabled only when there is something to
// take back.
TEST(Win32Calibration, DeletesAreAskedAndChangesAreUndoneAndRedone) {
    TableRig r;
    r.start_with({10, 100, 190});
    ASSERT_EQ(r.points(), (TableRig::Table{{0, 10}, {20, 100}, {40, 190}}));
    EXPECT_TRUE(r.enabled("undo"));
    EXPECT_FALSE(r.enabled("redo"));

    r.calibration.select_row(1);
    r.dialogs.answers = {false};
    r.click("delete");
    EXPECT_EQ(r.points().size(), 3u);
    ASSERT_EQ(r.dialogs.questions.size(), 1u);
    EXPECT_EQ(r.dialogs.questions[0], "Удалить точку 20 л (уровень 100)? Это можно отменить.");
    r.dialogs.answers = {true};
    r.click("delete");
    ASSERT_EQ(r.points(), (TableRig::Table{{0, 10}, {40, 190}}));
    r.calibration.select_row(0);
    r.dialogs.answers = {false};
    r.click("remeasure");
    EXPECT_FALSE(r.calibration.calibration().waiting());
    EXPECT_EQ(r.dialogs.questions.back(),
              "Перемерить точку 0 л? Её уровень 10 заменит новый замер (это можно отменить).");

    const HWND table = r["points"];
    const struct {
        const char* how;
        std::function<void()> act;
        std::size_t points;
        bool undo, redo;
    } steps[] = {
        {"Ctrl+Z takes the delete back", [&] { r.ctrl(table, 'Z'); }, 3, true, true},
        {"«Отменить» takes the last record back", [&] { r.click("undo"); }, 2, true, true},
        {"Ctrl+Y records it again", [&] { r.ctrl(table, 'Y'); }, 3, true, true},
        {"«Повторить» deletes again", [&] { r.click("redo"); }, 2, true, false},
        {"«Повторить» with nothing to redo", [&] { r.click("redo"); }, 2, true, false},
        {"Ctrl+Z in a text field is the field's", [&] { r.ctrl(r["vehicle"], 'Z'); }, 2, true,
         false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.how);
        step.act();
        EXPECT_EQ(r.points().size(), step.points);
        EXPECT_EQ(r.enabled("undo"), step.undo);
        EXPECT_EQ(r.enabled("redo"), step.redo);
    }
    EXPECT_EQ(SendMessageW(table, LVM_GETITEMCOUNT, 0, 0), 2);
    for (const auto& title : r.dialogs.question_titles) EXPECT_EQ(title, kWindowTitle);
}

// A volume corrected by hand moves the later ones when the installer agrees; a marked table is
// exported only when confirmed, the note line tells why a point is marked, and the platform's
// table comes in the order and separator chosen beside its button.
TEST(Win32Calibration, EditsShiftLaterVolumesAndExportsAskAndFollowTheChosenFormat) {
    TableRig r;
    r.start_with({10, 100, 190});
    r.calibration.select_row(1);
    ASSERT_TRUE(r.enabled("edit"));
    r.dialogs.inputs = {"15", "100"};
    r.dialogs.answers = {true};
    r.click("edit");
    EXPECT_EQ(r.points(), (TableRig::Table{{0, 10}, {15, 100}, {35, 190}}));
    ASSERT_EQ(r.dialogs.questions.size(), 1u);
    EXPECT_EQ(r.dialogs.questions[0],
              "Сдвинуть объёмы следующих точек на -5 л? Они считались от этой точки.");

    const struct {
        int choice;
        const char* text;
    } formats[] = {{0, "10;0\r\n100;15\r\n190;35\r\n"}, {5, "0\t10\r\n15\t100\r\n35\t190\r\n"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.choice);
        const auto path = r.folder.path() / ("platform" + std::to_string(f.choice) + ".csv");
        SendMessageW(r["platform_format"], CB_SETCURSEL, f.choice, 0);
        r.dialogs.files = {path};
        r.click("platform_export");
        EXPECT_TRUE(r.dialogs.messages.empty());
        EXPECT_EQ(TableRig::read_all(path), f.text);
        EXPECT_EQ(window_text(r["note"]),
                  "Таблица для платформы сохранена в «" + path_text(path) + "».");
    }
    ASSERT_EQ(r.dialogs.files_asked.size(), 2u);
    EXPECT_EQ(r.dialogs.files_asked[0].title, "Таблица для платформы");

    // A falling level: marked, explained under the table, and the export asks first.
    r.calibration.select_row(2);
    r.dialogs.inputs = {"35", "50"};
    r.click("edit");
    ASSERT_EQ(r.points()[2], (cal::Point{35, 50}));
    r.calibration.select_row(2);
    EXPECT_EQ(window_text(r["note"]), cal::point_note(r.calibration.calibration().session(), 2));
    EXPECT_NE(window_text(r["note"]), "");
    const auto csv = r.folder.path() / "marked.csv";
    r.dialogs.answers = {false};
    r.calibration.export_to(csv);
    EXPECT_FALSE(std::filesystem::exists(csv));
    r.dialogs.answers = {true};
    r.calibration.export_to(csv);
    EXPECT_NE(TableRig::read_all(csv).find(";50;уровень упал"), std::string::npos);
    EXPECT_TRUE(r.dialogs.answers.empty());
    EXPECT_TRUE(r.dialogs.messages.empty());
}

// Vehicle, installer and notes go into the session file (when the report is asked for, or a
// field is left) and come back into the fields with the session.
TEST(Win32Calibration, TheReportsFieldsReachTheSessionFileAndComeBack) {
    TableRig r;
    r.start_with({10});
    r.type("vehicle", "А123ВС 77, левый бак");
    r.type("installer", "Петров");
    r.type("notes", "лежачий цилиндр");
    r.dialogs.files = {r.folder.path() / "отчёт.pdf"};
    r.click("report");
    ASSERT_EQ(r.dialogs.files_asked.size(), 1u);
    EXPECT_EQ(r.dialogs.files_asked[0].title, "Отчёт о тарировке");
    const auto file = r.calibration.calibration().file();
    const cal::Loaded saved = cal::load_file(file);
    ASSERT_TRUE(saved.session) << saved.error;
    EXPECT_EQ(saved.session->info().vehicle, "А123ВС 77, левый бак");
    EXPECT_EQ(saved.session->info().installer, "Петров");
    EXPECT_EQ(saved.session->info().notes, "лежачий цилиндр");

    // Leaving a field is enough.
    r.type("installer", "Сидоров");
    SetFocus(r["installer"]);
    SetFocus(r["points"]);
    EXPECT_EQ(cal::load_file(file).session->info().installer, "Сидоров");

    for (const char* field : {"vehicle", "installer", "notes"}) r.type(field, "");
    r.calibration.load_from(file);
    EXPECT_EQ(window_text(r["vehicle"]), "А123ВС 77, левый бак");
    EXPECT_EQ(window_text(r["installer"]), "Сидоров");
    EXPECT_EQ(window_text(r["notes"]), "лежачий цилиндр");
}

}  // namespace
}  // namespace velkon::win32
