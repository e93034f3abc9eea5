// The two pictures of the calibration window laid out once, as shapes in pixels from the
// picture's top left corner (y down): the table as a plot (volume across, level up, the points
// and the line through them, marked points red, the selected one larger) and the strip of the
// last minutes of raw level readings with the band the settling rule allows. Each front end has
// one painter of these shapes; the colours are named here, so both windows look alike.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "calibration/calibration.h"
#include "pdf/page.h"

namespace velkon::calibration::chart {

using pdf::Color;
using pdf::Point;

struct Rect {
    double left = 0, top = 0, width = 0, height = 0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
    bool operator==(const Rect&) const = default;
};

struct Fill {
    Rect box;
    Color color;
};

// A rectangle's edge.
struct Outline {
    Rect box;
    Color color;
    double width = 1.0;
    bool dashed = false;
};

struct Line {
    Point from, to;
    Color color;
    double width = 1.0;
};

// A line through the points; what falls outside `clip`, when given, is not drawn.
struct Curve {
    std::vector<Point> points;
    Color color;
    double width = 1.0;
    std::optional<Rect> clip;
};

// A filled circle with an edge of its own colour.
struct Marker {
    Point centre;
    double radius = 4.0;
    Color edge, fill;
    double edge_width = 1.0;
};

enum class Align { Start, Middle, End };

// One line of text in the window's font, placed inside `box` as aligned.
struct Label {
    Rect box;
    std::string text;  // UTF-8
    Color color;
    Align across = Align::Start;
    Align down = Align::Start;
};

using Shape = std::variant<Fill, Outline, Line, Curve, Marker, Label>;

// The palette of both pictures and of the table's marked rows.
inline constexpr Color kPlotGround{255, 255, 255};
inline constexpr Color kGrid{225, 225, 225};
inline constexpr Color kAxisText{60, 60, 60};
inline constexpr Color kFrame{120, 120, 120};
inline constexpr Color kQuietText{120, 120, 120};
inline constexpr Color kTableLine{40, 100, 200};
inline constexpr Color kPointEdge{20, 60, 140};
inline constexpr Color kPointFill{70, 130, 230};
inline constexpr Color kMarkedEdge{200, 30, 30};
inline constexpr Color kMarkedFill{240, 80, 80};
inline constexpr Color kReadings{30, 30, 30};
inline constexpr Color kSettledFill{200, 235, 205};
inline constexpr Color kSettledEdge{40, 140, 60};
inline constexpr Color kSettlingFill{252, 230, 200};
inline constexpr Color kSettlingEdge{200, 120, 20};
inline constexpr Color kMarkedRow{255, 220, 220};  // the table's rows of marked points
inline constexpr Color kWaitText{160, 90, 0};      // the line about a wait in progress

// The frame inside a picture of `width` x `height` pixels that holds the data; the axis numbers
// and titles go around it.
Rect plot_area(double width, double height);

// The table's plot; `decimal` separates the axis numbers' fractions.
std::vector<Shape> table_plot(const Session& session, std::optional<std::size_t> selected,
                              double width, double height, char decimal);

// The band a point awaits: the mean of the readings so far ± the rule's band, over the rule's
// seconds.
struct StripBand {
    double middle = 0;
    double half_width = 0;
    double seconds = 0;
    bool settled = false;
};
// The strip of raw readings up to `now_ms`, over Calibration::kHistoryMs.
std::vector<Shape> level_strip(const std::deque<Calibration::RawReading>& readings,
                               std::int64_t now_ms, std::optional<StripBand> band, double width,
                               double height, char decimal);

}  // namespace velkon::calibration::chart
