// The window «Тарировка бака» on Win32: the set-up of a session, the table of points with its
// marks, the buttons that record, re-measure, edit and delete points, the plot of the table and
// the strip of raw readings (GDI). It opens over the main window and keeps it disabled while it
// is shown, so the main window keeps its page and its exchange polling the sensor; the window
// samples what the main window shows on a timer of its own. All the logic is in
// calibration::Calibration; this class only shows it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "calibration/calibration.h"
#include "calibration/window_actions.h"

namespace velkon {
class Clock;
class Dialogs;
class WindowModel;
}  // namespace velkon

namespace velkon::win32 {

class CalibrationWindow {
  public:
    struct Seams {
        Dialogs& dialogs;
        Clock& clock;                          // the date and time of a new session
        std::filesystem::path program_folder;  // sessions go to its tarirovka/ folder
        std::function<std::int64_t()> now_ms;  // a steady clock; empty: the system's
        int sample_interval_ms = 500;
    };

    // `owner`: the main window, disabled while this one is shown (nullptr: none).
    CalibrationWindow(const WindowModel& model, Seams seams, HWND owner);
    ~CalibrationWindow();
    CalibrationWindow(const CalibrationWindow&) = delete;
    CalibrationWindow& operator=(const CalibrationWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    calibration::Calibration& calibration() { return *cal_; }

    // Shows the window (once built, it keeps its session for the whole run) and hides it.
    void open();
    void close();
    bool is_open() const { return hwnd_ && IsWindowVisible(hwnd_); }

    // The keyboard of the window (Tab, Enter, Esc; Ctrl+Z and Ctrl+Y outside the text fields)
    // for the program's message loop.
    bool dialog_message(MSG& msg);

    // One look at the main window (the timer's work; tests call it with their own clock).
    void sample();

    // The buttons, also for tests: each reports a failure in a message box and changes nothing.
    void start_session();
    void load_from(const std::filesystem::path& path);
    void export_to(const std::filesystem::path& path);
    // The table for a tracking platform in the format chosen beside its button.
    void export_platform_to(const std::filesystem::path& path);
    // «Отчёт…»: the PDF to hand over.
    void report_to(const std::filesystem::path& path);
    void record_point();
    void record_now();
    void remeasure_selected();
    void edit_selected();
    void delete_selected();
    void undo();
    void redo();

    // The controls, for tests: "portion", "tank", "start_volume", "settle_seconds",
    // "settle_band", "vehicle", "installer", "notes", "file", "live", "wait", "note", "points",
    // "record", "record_now", "remeasure", "edit", "delete", "undo", "redo", "start", "load",
    // "export", "platform_export", "platform_format", "report", "plot", "strip".
    HWND control(std::string_view name) const;
    std::optional<std::size_t> selected_row() const;
    void select_row(std::size_t row);

  private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static LRESULT CALLBACK plot_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    void build();
    void layout();
    void on_command(int id, int code);
    void choose_and_load();
    void choose_and_export();
    void choose_and_export_platform();
    void choose_and_report();
    // Vehicle, installer and notes typed during a session go into it.
    void apply_who();
    // After a change of the table: shows it, selects the point the change touched, says why not.
    void after_change(const std::optional<std::string>& error);
    void apply_rule();
    void apply_portion();
    void show_session();
    void show_live();
    void selection_changed();
    void fail(const std::string& text);
    std::int64_t now() const;
    int px(int pixels_at_96) const;
    void paint_plot(HDC dc, const RECT& box);
    void paint_strip(HDC dc, const RECT& box);

    Seams seams_;
    HWND owner_;
    std::unique_ptr<calibration::Calibration> cal_;
    calibration::WindowActions actions_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    HFONT bold_font_ = nullptr;
    int dpi_ = 96;
    int filling_ = 0;  // > 0 while the table is refilled: its notifications are not the user's
    std::optional<std::size_t> plot_selected_;
    std::int64_t strip_now_ms_ = 0;
};

}  // namespace velkon::win32
