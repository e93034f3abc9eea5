// The window «Тарировка бака»: the set-up of a session, the table of points with its marks, the
// buttons that record, re-measure, edit and delete points, the plot of the table and the strip of
// raw readings. It opens over the main window, modal to it, so the main window keeps its page
// and its exchange polling the sensor; the window samples what the main window shows on a timer
// of its own. All the logic is in calibration::Calibration; this class only shows it.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>

#include "calibration/calibration.h"
#include "calibration/window_actions.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QDoubleSpinBox;
class QPushButton;
class QTableWidget;
class QTimer;

namespace velkon {
class Clock;
class Dialogs;
class WindowModel;
}  // namespace velkon

namespace velkon::ui {

class TablePlot;
class LevelStrip;

class CalibrationWindow : public QDialog {
    Q_OBJECT
  public:
    struct Seams {
        Dialogs& dialogs;
        Clock& clock;                          // the date and time of a new session
        std::filesystem::path program_folder;  // sessions go to its tarirovka/ folder
        std::function<std::int64_t()> now_ms;  // a steady clock; empty: the system's
        int sample_interval_ms = 500;
    };

    CalibrationWindow(const WindowModel& model, Seams seams, QWidget* parent = nullptr);
    ~CalibrationWindow() override;

    calibration::Calibration& calibration() { return *cal_; }

    // One look at the main window (the timer's work; tests call it with their own clock).
    void sample();

    // The buttons, also for tests: each reports a failure in a message box and changes nothing.
    void start_session();
    void load_from(const std::filesystem::path& path);
    void export_to(const std::filesystem::path& path);
    // The table for a tracking platform in the format chosen beside its button.
    void export_platform_to(const std::filesystem::path& path);
    // «Отчёт…»: the PDF to hand over (the same as velkon-cli tank report makes).
    void report_to(const std::filesystem::path& path);
    void record_point();
    void record_now();
    void remeasure_selected();
    void delete_selected();
    void undo();
    void redo();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void build();
    void choose_and_load();
    void choose_and_export();
    void choose_and_export_platform();
    void choose_and_report();
    // Vehicle, installer and notes typed during a session go into it.
    void apply_who();
    void apply_rule();
    void table_edited(int row, int column);
    void show_session();
    void show_live();
    std::optional<std::size_t> selected_row() const;
    void fail(const std::string& text);
    // After a change of the table: shows it, selects the point the change touched, says why not.
    void after_change(const std::optional<std::string>& error);
    std::int64_t now() const;

    Seams seams_;
    std::unique_ptr<calibration::Calibration> cal_;
    calibration::WindowActions actions_;
    QTimer* timer_ = nullptr;
    int filling_ = 0;  // > 0 while the table is refilled: its edits are not the user's

    QLineEdit* portion_ = nullptr;
    QLineEdit* tank_ = nullptr;
    QLineEdit* start_volume_ = nullptr;
    QLineEdit* vehicle_ = nullptr;
    QLineEdit* installer_ = nullptr;
    QLineEdit* notes_ = nullptr;
    QPushButton* report_ = nullptr;
    QDoubleSpinBox* settle_seconds_ = nullptr;
    QDoubleSpinBox* settle_band_ = nullptr;
    QLabel* file_ = nullptr;
    QLabel* live_ = nullptr;
    QLabel* wait_ = nullptr;
    QLabel* note_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPushButton* record_ = nullptr;
    QPushButton* record_now_ = nullptr;
    QPushButton* remeasure_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* export_ = nullptr;
    QPushButton* platform_ = nullptr;
    QComboBox* platform_format_ = nullptr;
    QPushButton* undo_ = nullptr;
    QPushButton* redo_ = nullptr;
    TablePlot* plot_ = nullptr;
    LevelStrip* strip_ = nullptr;
};

}  // namespace velkon::ui
