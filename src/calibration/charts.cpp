#include "calibration/charts.h"

#include <algorithm>

namespace velkon::calibration::chart {

namespace {

constexpr double kLeft = 46;  // room for the level numbers
constexpr double kRight = 12;
constexpr double kTop = 20;  // the upright axis title goes above the frame
constexpr double kBottom = 26;
constexpr double kTextHeight = 14;

// The frame, the grid and the axis numbers of a plot over [x0, x1] x [y0, y1].
struct Axes {
    Rect area;
    double x0, x1, y0, y1;

    Point at(double x, double y) const {
        const double fx = x1 > x0 ? (x - x0) / (x1 - x0) : 0.0;
        const double fy = y1 > y0 ? (y - y0) / (y1 - y0) : 0.0;
        return {area.left + fx * area.width, area.bottom() - fy * area.height};
    }

    // `under_grid`: drawn on the plot's ground, below the grid lines.
    std::vector<Shape> draw(const std::string& x_title, const std::string& y_title, char decimal,
                            double x_label_scale = 1.0,
                            std::optional<Shape> under_grid = std::nullopt) const {
        std::vector<Shape> out{Fill{area, kPlotGround}};
        if (under_grid) out.push_back(*under_grid);
        const auto number = [decimal](double v) { return format_number(v, decimal, 6); };
        for (const double x : axis_ticks(x0, x1, 5)) {
            const Point base = at(x, y0);
            out.push_back(Line{base, at(x, y1), kGrid});
            out.push_back(Label{{base.x - 30, base.y + 2, 60, kTextHeight},
                                number(x * x_label_scale),
                                kAxisText,
                                Align::Middle,
                                Align::Start});
        }
        for (const double y : axis_ticks(y0, y1, 4)) {
            const Point base = at(x0, y);
            out.push_back(Line{base, at(x1, y), kGrid});
            out.push_back(Label{{0, base.y - kTextHeight / 2, area.left - 4, kTextHeight},
                                number(y),
                                kAxisText,
                                Align::End,
                                Align::Middle});
        }
        out.push_back(Outline{area, kFrame});
        out.push_back(Label{{area.left, area.bottom() + 12, area.width, kTextHeight},
                            x_title,
                            kAxisText,
                            Align::End,
                            Align::Start});
        // Above the frame, where no point can cover it.
        out.push_back(Label{{area.left, area.top - 16, area.width, kTextHeight},
                            y_title,
                            kAxisText,
                            Align::Start,
                            Align::End});
        return out;
    }
};

}  // namespace

Rect plot_area(double width, double height) {
    return {kLeft, kTop, std::max(10.0, width - kLeft - kRight),
            std::max(10.0, height - kTop - kBottom)};
}

std::vector<Shape> table_plot(const Session& session, std::optional<std::size_t> selected,
                              double width, double height, char decimal) {
    const Rect area = plot_area(width, height);
    const PlotCorner corner = table_plot_corner(session, area.width, area.height);
    const Axes axes{area, 0.0, corner.volume, 0.0, corner.level};
    std::vector<Shape> out = axes.draw("Объём, л", "Уровень", decimal);
    const auto& points = session.points();
    if (points.empty()) {
        out.push_back(Label{area, "Точек пока нет", kQuietText, Align::Middle, Align::Middle});
        return out;
    }
    Curve line{{}, kTableLine, 2.0, std::nullopt};
    for (const calibration::Point& p : points) line.points.push_back(axes.at(p.volume, p.level));
    out.push_back(line);
    const auto checks = session.checks();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const bool marked = checks[i].marks != 0;
        out.push_back(Marker{line.points[i], selected == i ? 6.0 : 4.0,
                             marked ? kMarkedEdge : kPointEdge, marked ? kMarkedFill : kPointFill,
                             1.5});
    }
    return out;
}

std::vector<Shape> level_strip(const std::deque<Calibration::RawReading>& readings,
                               std::int64_t now_ms, std::optional<StripBand> band, double width,
                               double height, char decimal) {
    constexpr double kSpanS = Calibration::kHistoryMs / 1000.0;
    std::optional<StripRange> band_range;
    if (band) band_range = {{band->middle - band->half_width, band->middle + band->half_width}};
    const StripRange range = strip_range(readings, now_ms, band_range);
    // Seconds before now, shown as positive numbers of seconds ago.
    Axes axes{plot_area(width, height), -kSpanS, 0.0, range.low, range.high};
    std::optional<Rect> band_box;
    if (band) {
        const Point a = axes.at(-band->seconds, band->middle + band->half_width);
        const Point b = axes.at(0.0, band->middle - band->half_width);
        band_box = Rect{a.x, a.y, b.x - a.x, b.y - a.y};
    }
    std::optional<Shape> band_fill;
    if (band_box) band_fill = Fill{*band_box, band->settled ? kSettledFill : kSettlingFill};
    std::vector<Shape> out =
        axes.draw("с назад", "Уровень (сырые показания)", decimal, -1.0, band_fill);
    if (band_box)
        out.push_back(Outline{*band_box, band->settled ? kSettledEdge : kSettlingEdge, 1.0, true});
    Curve line{{}, kReadings, 1.2, axes.area};
    for (const Calibration::RawReading& r : readings) {
        const double ago = static_cast<double>(r.time_ms - now_ms) / 1000.0;
        if (ago >= -kSpanS) line.points.push_back(axes.at(ago, r.level));
    }
    out.push_back(std::move(line));
    return out;
}

}  // namespace velkon::calibration::chart
