// The window «Тарировка бака» on Qt: the set-up of a session, the table of points with its
// marks, the buttons that record, re-measure, edit and delete points, the plot of the table and
// the strip of raw readings. It opens over the main window, modal to it, so the main window keeps
// its page and its exchange polling the sensor; the window samples what the main window shows on
// a timer of its own. What it does is calibration::CalibrationPresenter's: this class maps the
// presenter's view to the widgets and the widgets' events to the presenter.
#pragma once

#include <QDialog>
#include <array>
#include <vector>

#include "calibration/calibration_presenter.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace velkon::ui {

class ChartView;

class CalibrationWindow : public QDialog {
    Q_OBJECT
  public:
    using Seams = calibration::WindowSeams;

    CalibrationWindow(const WindowModel& model, const Seams& seams, QWidget* parent = nullptr);
    ~CalibrationWindow() override;

    calibration::CalibrationPresenter& presenter() { return presenter_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void build();
    void show_view();
    void show_table(const calibration::CalibrationView& view);
    std::optional<std::size_t> selected_row() const;

    calibration::CalibrationPresenter presenter_;
    QTimer* timer_ = nullptr;
    // > 0 while the widgets are set from the view: their signals are not the user's.
    int filling_ = 0;
    bool table_typed_ = false;  // a cell typed over: the table is refilled whatever the view says
    std::vector<calibration::TableRow> rows_shown_;

    std::array<QWidget*, calibration::kFieldCount> fields_{};
    std::array<QPushButton*, calibration::kButtonCount> buttons_{};
    std::array<QLabel*, 4> labels_{};  // the file, the sensor, the wait, the note
    QTableWidget* table_ = nullptr;
    QComboBox* platform_format_ = nullptr;
    ChartView* plot_ = nullptr;
    ChartView* strip_ = nullptr;
};

}  // namespace velkon::ui
