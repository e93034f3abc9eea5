// A picture of the calibration window on Qt: the shapes the core lays out for the widget's size,
// drawn with QPainter in the widget's font.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "calibration/charts.h"

namespace velkon::ui {

class ChartView : public QWidget {
    Q_OBJECT
  public:
    using Layout =
        std::function<std::vector<calibration::chart::Shape>(double width, double height)>;
    ChartView(const char* name, QSize hint, QSize least, Layout layout, QWidget* parent);
    QSize sizeHint() const override { return hint_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QSize hint_;
    Layout layout_;
};

}  // namespace velkon::ui
