// The window «Тарировка бака» on Win32: the set-up of a session, the table of points with its
// marks, the buttons that record, re-measure, edit and delete points, the plot of the table and
// the strip of raw readings (GDI). It opens over the main window and keeps it disabled while it
// is shown, so the main window keeps its page and its exchange polling the sensor; the window
// samples what the main window shows on a timer of its own. What it does is
// calibration::CalibrationPresenter's: this class maps the presenter's view to the controls and
// the controls' messages to the presenter.
#pragma once

#include <windows.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "calibration/calibration_presenter.h"

namespace velkon::win32 {

class CalibrationWindow {
  public:
    using Seams = calibration::WindowSeams;

    // `owner`: the main window, disabled while this one is shown (nullptr: none).
    CalibrationWindow(const WindowModel& model, const Seams& seams, HWND owner);
    ~CalibrationWindow();
    CalibrationWindow(const CalibrationWindow&) = delete;
    CalibrationWindow& operator=(const CalibrationWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    calibration::CalibrationPresenter& presenter() { return presenter_; }

    // Shows the window (once built, it keeps its session for the whole run) and hides it.
    void open();
    void close();
    bool is_open() const { return hwnd_ && IsWindowVisible(hwnd_); }

    // The keyboard of the window (Tab, Enter, Esc; Ctrl+Z and Ctrl+Y outside the text fields)
    // for the program's message loop.
    bool dialog_message(MSG& msg);

    // A control by name, for tests: the fields' and buttons' names, "platform_format", "file",
    // "live", "wait", "note", "points", "plot", "strip".
    HWND control(std::string_view name) const;

  private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT on_table(const NMHDR& header);
    void build();
    void on_command(int id, int code);
    void show_view();
    void show_table(const calibration::CalibrationView& view);
    std::optional<std::size_t> selected_row() const;
    int px(int pixels_at_96) const;

    int sample_interval_ms_;
    HWND owner_;
    calibration::CalibrationPresenter presenter_;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    HFONT bold_font_ = nullptr;
    int dpi_ = 96;
    int filling_ = 0;  // > 0 while the controls are set from the view: their messages are ours
    std::vector<calibration::TableRow> rows_shown_;
};

}  // namespace velkon::win32
