// The window as native Win32 controls: one control per control of the window model, at the
// control's place (twips / 15 = pixels at 96 DPI, scaled for the monitor's DPI), kept in step with
// the model both ways, and the two timers.
//
// The renderer holds no logic of its own. What the user does reaches the model at once (text
// typed, boxes checked, entries picked, the page opened) and clicks, edits and timer ticks go to
// the configurator as control events; what the handlers write into the model appears at once
// through the model's change listener. The timers run while the model says their control is
// enabled.
//
// Every control is a direct child of the window, placed at its absolute position: a tab control
// or a group box does not pass its children's notifications on, and flat siblings keep them all
// in one place. Frames and the tab control lie below the controls they hold; what the model's
// hierarchy says about showing and enabling (a page not shown, a frame disabled) is applied to
// each control here.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "model/control_names.h"

namespace velkon {
class Configurator;
class WindowModel;
struct Control;
}  // namespace velkon

namespace velkon::win32 {

class MainWindow {
  public:
    static constexpr int kTwipsPerPixel = 15;

    // The model and the configurator must outlive the window. The window is created hidden.
    MainWindow(WindowModel& model, Configurator& app);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND hwnd() const { return hwnd_; }
    // The native control of a model control, or nullptr for a timer or an unknown name.
    HWND control(ControlName name) const;
    // Whether the timer of a Timer control runs.
    bool timer_running(ControlName name) const;
    int dpi() const { return dpi_; }

    // Runs after the window is destroyed (the program ends its message loop there).
    std::function<void()> on_destroyed;

  private:
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    // Check boxes' and option buttons' own messages: a check set from outside.
    static LRESULT CALLBACK check_state_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                             UINT_PTR index, DWORD_PTR window);
    LRESULT handle(UINT message, WPARAM wparam, LPARAM lparam);

    void create_controls();
    HWND create(int index);
    void layout();
    void apply_fonts();
    HFONT font_for(const Control& control);
    RECT pixel_rect(int index) const;
    int pixels(int twips) const;

    // Model -> control.
    void sync(int index);
    void sync_states();
    void sync_text(int index, const std::string& text);
    void sync_combo(int index);
    void sync_tabs(int index);
    void sync_bar(int index);
    void sync_timer(int index);
    void sync_multiline(int index);
    void sync_tooltip(int index);
    bool shown(int index) const;
    bool usable(int index) const;

    // Control -> model.
    void on_command(int index, int code);
    void user_text(int index);
    void user_checked(int index, bool checked);
    void user_click(int index);
    void tick(int index);

    WindowModel& model_;
    Configurator& app_;
    HWND hwnd_ = nullptr;
    HWND tooltip_ = nullptr;
    int dpi_ = 96;
    std::vector<HWND> controls_;                         // by control index; nullptr for timers
    std::vector<std::string> shown_text_;                // the text each control shows (UTF-8)
    std::vector<std::vector<std::string>> shown_items_;  // combo boxes' lists as shown
    std::vector<std::string> shown_tip_;
    std::vector<signed char> shown_state_;  // bit 0: visible, bit 1: enabled; -1: unknown
    std::vector<bool> timer_on_;
    std::vector<bool> ticking_;  // a tick handler running (a modal box inside it pumps messages)
    std::vector<bool> unseen_text_;  // a multi-line box out of sight whose text changed since
    std::map<std::pair<int, bool>, HFONT> fonts_;  // by (size in hundredths of a point, bold)
    int updating_ = 0;  // > 0 while the model's state is written into the controls
};

}  // namespace velkon::win32
