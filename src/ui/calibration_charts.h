// The two pictures of the calibration window, drawn with QPainter: the table as a plot (volume
// across, level up, the points and the line through them, marked points in red) and the strip
// of the last minutes of raw level readings with the band the settling rule allows.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "calibration/calibration.h"

namespace velkon::ui {

class TablePlot : public QWidget {
    Q_OBJECT
  public:
    explicit TablePlot(QWidget* parent = nullptr);
    void set_table(const calibration::Session& session);
    // The point drawn larger: the one selected in the table.
    void set_selected(std::optional<std::size_t> index);
    QSize sizeHint() const override { return {360, 240}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    calibration::Session session_;
    std::vector<bool> marked_;
    std::optional<std::size_t> selected_;
};

class LevelStrip : public QWidget {
    Q_OBJECT
  public:
    explicit LevelStrip(QWidget* parent = nullptr);
    // The readings, the time now, and the band to show (mean ± D over the last T seconds) when
    // a point is awaited.
    struct Band {
        double middle;
        double half_width;
        double seconds;
        bool settled;
    };
    void set_readings(const std::deque<calibration::Calibration::RawReading>& readings,
                      std::int64_t now_ms, std::optional<Band> band);
    QSize sizeHint() const override { return {360, 140}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<calibration::Calibration::RawReading> readings_;
    std::int64_t now_ms_ = 0;
    std::optional<Band> band_;
};

}  // namespace velkon::ui
