#include "ui/calibration_charts.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace velkon::ui {

namespace {

constexpr int kLeft = 46;
constexpr int kRight = 12;
constexpr int kTop = 20;  // the upright axis title goes above the frame
constexpr int kBottom = 26;

QString number_text(double v) {
    return QString::number(v, 'g', 6);
}

// The frame, the grid and the axis numbers of a plot over [x0, x1] x [y0, y1].
struct Axes {
    QRectF area;
    double x0, x1, y0, y1;

    QPointF at(double x, double y) const {
        const double fx = x1 > x0 ? (x - x0) / (x1 - x0) : 0.0;
        const double fy = y1 > y0 ? (y - y0) / (y1 - y0) : 0.0;
        return {area.left() + fx * area.width(), area.bottom() - fy * area.height()};
    }

    void draw(QPainter& p, const QString& x_title, const QString& y_title,
              double x_label_scale = 1.0) const {
        p.fillRect(area, Qt::white);
        const QPen grid(QColor(225, 225, 225));
        const QPen text(QColor(60, 60, 60));
        for (const double x : calibration::axis_ticks(x0, x1, 5)) {
            p.setPen(grid);
            p.drawLine(at(x, y0), at(x, y1));
            p.setPen(text);
            const QPointF base = at(x, y0);
            p.drawText(QRectF(base.x() - 30, base.y() + 2, 60, 14), Qt::AlignHCenter | Qt::AlignTop,
                       number_text(x * x_label_scale));
        }
        for (const double y : calibration::axis_ticks(y0, y1, 4)) {
            p.setPen(grid);
            p.drawLine(at(x0, y), at(x1, y));
            p.setPen(text);
            const QPointF base = at(x0, y);
            p.drawText(QRectF(0, base.y() - 7, kLeft - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                       number_text(y));
        }
        p.setPen(QColor(120, 120, 120));
        p.drawRect(area);
        p.setPen(text);
        p.drawText(QRectF(area.left(), area.bottom() + 12, area.width(), 14),
                   Qt::AlignRight | Qt::AlignTop, x_title);
        // Above the frame, where no point can cover it.
        p.drawText(QRectF(area.left(), area.top() - 16, area.width(), 14),
                   Qt::AlignLeft | Qt::AlignBottom, y_title);
    }
};

QRectF plot_area(const QWidget& w) {
    return QRectF(kLeft, kTop, std::max(10, w.width() - kLeft - kRight),
                  std::max(10, w.height() - kTop - kBottom));
}

}  // namespace

TablePlot::TablePlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(240, 160);
    setObjectName("plot");
}

void TablePlot::set_table(const calibration::Session& session) {
    session_ = session;
    marked_.clear();
    for (const auto& c : session.checks()) marked_.push_back(c.marks != 0);
    update();
}

void TablePlot::set_selected(std::optional<std::size_t> index) {
    selected_ = index;
    update();
}

void TablePlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    const QRectF area = plot_area(*this);
    const auto corner = calibration::table_plot_corner(session_, area.width(), area.height());
    const auto& points = session_.points();
    const Axes axes{area, 0.0, corner.volume, 0.0, corner.level};
    axes.draw(p, "Объём, л", "Уровень");
    if (points.empty()) {
        p.setPen(QColor(120, 120, 120));
        p.drawText(axes.area, Qt::AlignCenter, "Точек пока нет");
        return;
    }
    QPainterPath line;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF at = axes.at(points[i].volume, points[i].level);
        if (i == 0)
            line.moveTo(at);
        else
            line.lineTo(at);
    }
    p.setPen(QPen(QColor(40, 100, 200), 2));
    p.drawPath(line);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF at = axes.at(points[i].volume, points[i].level);
        const bool marked = i < marked_.size() && marked_[i];
        p.setPen(QPen(marked ? QColor(200, 30, 30) : QColor(20, 60, 140), 1.5));
        p.setBrush(marked ? QColor(240, 80, 80) : QColor(70, 130, 230));
        const double r = selected_ == i ? 6.0 : 4.0;
        p.drawEllipse(at, r, r);
    }
}

LevelStrip::LevelStrip(QWidget* parent) : QWidget(parent) {
    setMinimumSize(240, 110);
    setObjectName("strip");
}

void LevelStrip::set_readings(const std::deque<calibration::Calibration::RawReading>& readings,
                              std::int64_t now_ms, std::optional<Band> band) {
    readings_.assign(readings.begin(), readings.end());
    now_ms_ = now_ms;
    band_ = band;
    update();
}

void LevelStrip::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());
    constexpr double kSpanS = calibration::Calibration::kHistoryMs / 1000.0;
    std::optional<calibration::StripRange> band;
    if (band_) band = {{band_->middle - band_->half_width, band_->middle + band_->half_width}};
    const auto range = calibration::strip_range(readings_, now_ms_, band);
    // Seconds before now, shown as negative minutes-and-seconds on the axis.
    const Axes axes{plot_area(*this), -kSpanS, 0.0, range.low, range.high};
    axes.draw(p, "с назад", "Уровень (сырые показания)", -1.0);

    if (band_) {
        const QPointF a = axes.at(-band_->seconds, band_->middle + band_->half_width);
        const QPointF b = axes.at(0.0, band_->middle - band_->half_width);
        const QColor fill = band_->settled ? QColor(60, 180, 80, 70) : QColor(240, 160, 40, 70);
        p.fillRect(QRectF(a, b), fill);
        p.setPen(
            QPen(band_->settled ? QColor(40, 140, 60) : QColor(200, 120, 20), 1, Qt::DashLine));
        p.drawRect(QRectF(a, b));
    }
    QPainterPath line;
    bool first = true;
    for (const auto& r : readings_) {
        const double ago = static_cast<double>(r.time_ms - now_ms_) / 1000.0;
        if (ago < -kSpanS) continue;
        const QPointF at = axes.at(ago, r.level);
        if (first)
            line.moveTo(at);
        else
            line.lineTo(at);
        first = false;
    }
    p.setClipRect(axes.area);
    p.setPen(QPen(QColor(30, 30, 30), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
}

}  // namespace velkon::ui
