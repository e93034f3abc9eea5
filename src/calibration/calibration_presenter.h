// The window «Тарировка бака» without its widgets: the session, its undo history and the
// window's actions, fed by what the user does (texts typed, fields left, buttons, keys, a row
// chosen, a cell typed over, the answers to its questions through the Dialogs seam) and shown as
// one view state: the form's texts, the status lines, the table's rows with their marks, the
// selected row, the note, which buttons can work, and the two pictures as shapes. The Qt and the
// Win32 window only map this state to their widgets and their widgets' events to these calls.
#pragma once

#include <cstdint>
#include <vector>

#include "calibration/charts.h"
#include "calibration/window_actions.h"

namespace velkon::calibration {

// The fields of the session's set-up, in the order the windows lay them out.
enum class Field {
    Portion,
    Tank,
    StartVolume,
    SettleSeconds,
    SettleBand,
    Vehicle,
    Installer,
    Notes
};
inline constexpr std::size_t kFieldCount = 8;

enum class Button {
    Start,
    Load,
    Export,
    Platform,
    Report,
    Record,
    RecordNow,
    Remeasure,
    Edit,
    Delete,
    Undo,
    Redo,
};
inline constexpr std::size_t kButtonCount = 12;

// A field's name (its control's, for tests) and the hint it shows while empty.
struct FieldText {
    std::string_view name;
    std::string_view hint;
};
FieldText field_text(Field field);

// A button's name, caption and tool tip (empty: none).
struct ButtonText {
    std::string_view name;
    std::string_view caption;
    std::string_view tip;
};
ButtonText button_text(Button button);

// The columns of the table, and their titles.
enum class Column { Volume, Level, Check };
inline constexpr std::array<std::string_view, 3> kColumnTitles = {"Объём, л", "Уровень",
                                                                  "Проверка"};

struct TableRow {
    std::string volume, level, check;
    std::string tip;      // why the point is marked, or what is worth knowing about it
    bool marked = false;  // shown on a warning ground
    bool operator==(const TableRow&) const = default;
};

struct CalibrationView {
    std::array<std::string, kFieldCount> fields;
    std::string file;  // where the session is kept, or how to begin one
    std::string live;  // the sensor's level, or why the session pauses
    std::string wait;  // the point to take next, or the wait in progress
    bool waiting = false;
    bool active = false;  // a session runs
    std::array<bool, kButtonCount> enabled{};
    std::string record;  // «Записать точку», or how to cancel the wait
    std::vector<TableRow> rows;
    std::optional<std::size_t> selected;
    std::string note;
    std::size_t platform_choice = 0;  // an index into kPlatformChoices

    const std::string& field(Field f) const { return fields[static_cast<std::size_t>(f)]; }
    bool can(Button b) const { return enabled[static_cast<std::size_t>(b)]; }
};

// What a front end hands its calibration window.
struct WindowSeams {
    Dialogs& dialogs;
    Clock& clock;  // the date and time of a new session, the readings' times
    std::filesystem::path program_folder;  // sessions go to its tarirovka/ folder
    // The user's decimal separator, for the numbers shown and the CSV; one byte, else ".".
    std::string decimal = ".";
    int sample_interval_ms = 500;  // how often the window looks at the levels
};

class CalibrationPresenter {
  public:
    // `write_report` writes the handed-over report (PDF) of a session.
    CalibrationPresenter(const WindowModel& model, const WindowSeams& seams,
                         WindowActions::ReportWriter write_report);

    const CalibrationView& view() const { return view_; }
    // Called whenever the view changed: at the end of each call, and before a message box, so
    // the window shows what the message speaks of.
    void set_listener(std::function<void()> listener) { listener_ = std::move(listener); }

    // The window shown (takes a first look at the levels) and hidden (a wait stops).
    void opened();
    void closed();
    // One look at what the main window shows: the window's timer.
    void sample();

    // A field's text as typed, and the field left or confirmed with Enter: a new portion or
    // settling rule or the report's fields then go into the running session.
    void type(Field field, std::string text);
    void leave(Field field);
    void click(Button button);
    // Enter outside the fields: records the point unless a wait is in progress.
    void enter();
    void select(std::optional<std::size_t> row);
    // A table cell typed over.
    void edit_cell(std::size_t row, Column column, const std::string& text);
    void choose_platform(std::size_t choice);

    // The file halves of the buttons, once a path is chosen.
    void load_from(const std::filesystem::path& path);
    void export_to(const std::filesystem::path& path);
    void export_platform_to(const std::filesystem::path& path);
    void report_to(const std::filesystem::path& path);

    // The pictures for their size in pixels.
    std::vector<chart::Shape> plot(double width, double height) const;
    std::vector<chart::Shape> strip(double width, double height) const;

    char decimal() const { return decimal_; }
    Calibration& calibration() { return cal_; }
    const Calibration& calibration() const { return cal_; }

  private:
    void start();
    void record();
    void record_now();
    void remeasure();
    void edit_selected();
    void remove();
    void undo();
    void redo();
    void apply_portion();
    void apply_rule();
    void apply_who();
    void choose_load();
    void choose_export();
    void choose_platform_file();
    void choose_report();

    // After a change of the table: selects the point it touched, then says why not, if so.
    void after_change(const std::optional<std::string>& error);
    void fail(const std::string& text);
    void refresh();
    std::string shown(double value, int decimals = 3) const;
    std::string& field(Field f) { return view_.fields[static_cast<std::size_t>(f)]; }
    std::int64_t now() const;

    WindowSeams seams_;
    WindowActions::ReportWriter write_report_;
    char decimal_;
    Calibration cal_;
    WindowActions actions_;
    CalibrationView view_;
    std::int64_t strip_now_ms_ = 0;
    std::function<void()> listener_;
};

}  // namespace velkon::calibration
