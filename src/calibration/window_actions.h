// The calibration window's work behind its buttons (the presenter's part that asks and writes):
// the file boxes the buttons open (titles, filters, the names offered), the questions asked
// before a change replaces or removes a point or a table with marks is written, the checks
// before each button's work, the texts of the status lines and the notes after a file is
// written. Failures and questions go through the Dialogs seam under the program window's title.
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "calibration/calibration.h"
#include "calibration/session_form.h"

namespace velkon {
class Clock;
class Dialogs;
class WindowModel;
}  // namespace velkon

namespace velkon::calibration {

// The column orders and separators offered beside «Для платформы…», in the order listed.
struct PlatformChoice {
    std::string_view name;
    PlatformFormat format;
};
inline constexpr std::array<PlatformChoice, 6> kPlatformChoices = {{
    {"уровень;литры", {true, ';'}},
    {"литры;уровень", {false, ';'}},
    {"уровень,литры", {true, ','}},
    {"литры,уровень", {false, ','}},
    {"уровень<Tab>литры", {true, '\t'}},
    {"литры<Tab>уровень", {false, '\t'}},
}};

// Which buttons can do their work now.
struct ButtonStates {
    bool record = false;      // «Записать точку»
    bool record_now = false;  // «Записать сейчас»: not while the sensor is silent
    bool point = false;  // «Перемерить», «Изменить…», «Удалить»: a point is selected
    bool export_csv = false;
    bool platform = false;  // a platform interpolates: two points at least
    bool report = false;
    bool undo = false;
    bool redo = false;
};
ButtonStates button_states(const Calibration& calibration, bool point_selected);

// The line about the sensor: its level and scale, or why the session pauses.
std::string live_text(const Calibration& calibration);
// The line about the point to take next, or the wait in progress; empty without a session.
std::string wait_text(const Calibration& calibration, char decimal);
// Where the session is kept, or how to begin one.
std::string file_text(const Calibration& calibration);
// The line under the table for the point in `row`: why it is marked, else what is worth knowing.
std::string point_note(const Session& session, std::size_t row);

class WindowActions {
  public:
    // `decimal` separates the fractions of the numbers in its questions, forms and CSV files.
    WindowActions(Calibration& calibration, const WindowModel& model, Dialogs& dialogs,
                  Clock& clock, std::filesystem::path program_folder, char decimal = '.');

    // A failure in a message box, a Yes/No question: under the program window's title.
    void fail(const std::string& text) const;
    bool ask(const std::string& text) const;

    // «Новый сеанс»: the form read, a question when a table would be left, the sensor's serial,
    // firmware and scale and the unit's IMEI from what the main window shows. True once started.
    bool start(const SessionForm& form);
    // «Открыть…»: the form showing the loaded session's set-up, or nothing when the file is
    // refused (and said why).
    std::optional<SessionForm> load(const std::filesystem::path& path);

    // The files made from the table. Each returns the note to show once the file is written, or
    // nothing when there was nothing to write, the user declined, or the writing failed (said).
    std::optional<std::string> export_csv(const std::filesystem::path& path);
    // `choice`: an index into kPlatformChoices.
    std::optional<std::string> export_platform(const std::filesystem::path& path,
                                               std::size_t choice);
    using ReportWriter =
        std::function<std::optional<std::string>(const Session&, const std::filesystem::path&)>;
    std::optional<std::string> report(const std::filesystem::path& path, const ReportWriter& write);
    // The vehicle, installer and notes fields, kept in the running session.
    void apply_who(std::string vehicle, std::string installer, std::string notes);

    // «Записать точку»: starts the wait for a settled level, or cancels the one in progress.
    void toggle_wait();
    // «Перемерить»: asks, then waits for the point's level anew. True once waiting.
    bool remeasure(std::optional<std::size_t> row);
    // «Удалить»: asks, then removes the point.
    struct Change {
        bool made = false;                 // the table changed: the window shows it anew
        std::optional<std::string> error;  // to say once it has
    };
    Change remove(std::optional<std::size_t> row);
    // A point typed anew: when its volume moved and points follow, offers to move their volumes
    // as much. Returns why the change was refused, for the window to say after it shows the
    // table anew.
    std::optional<std::string> edit(std::size_t index, Point point);

    // The file boxes of the buttons; each gives the path chosen, empty when cancelled.
    std::filesystem::path choose_load() const;
    std::filesystem::path choose_export() const;
    std::filesystem::path choose_platform() const;
    std::filesystem::path choose_report() const;

  private:
    bool has_points() const;

    Calibration& cal_;
    const WindowModel& model_;
    Dialogs& dialogs_;
    Clock& clock_;
    std::filesystem::path folder_;
    char decimal_;
};

}  // namespace velkon::calibration
