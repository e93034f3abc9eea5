// A page as a list of shapes, in points (1/72 inch) from the page's top left corner, y down: what
// a report draws, kept apart from how it is drawn, so that a PDF writer and a painter of a
// window toolkit draw the same page.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velkon::pdf {

inline constexpr double kA4Width = 595.276;  // 210 mm
inline constexpr double kA4Height = 841.89;  // 297 mm
inline constexpr double kPointsPerMm = 72.0 / 25.4;

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Color&) const = default;
};

struct Point {
    double x = 0.0, y = 0.0;
    bool operator==(const Point&) const = default;
};

// One line of text; `at` is the start of its baseline.
struct Text {
    Point at;
    double size = 10.0;
    bool bold = false;
    Color color;
    std::string text;  // UTF-8
};

struct Line {
    Point from, to;
    double width = 0.5;
    Color color;
};

// A stroked rectangle.
struct Frame {
    Point corner;  // top left
    double width = 0.0, height = 0.0;
    double line_width = 0.5;
    Color color;
};

// A filled circle.
struct Dot {
    Point centre;
    double radius = 1.0;
    Color color;
};

struct Polyline {
    std::vector<Point> points;
    double width = 0.5;
    Color color;
};

using Shape = std::variant<Text, Line, Frame, Dot, Polyline>;

struct Page {
    double width = kA4Width, height = kA4Height;
    std::vector<Shape> shapes;
};

struct Document {
    std::string title;    // UTF-8, for the file's properties
    std::string creator;  // UTF-8
    std::vector<Page> pages;
};

}  // namespace velkon::pdf
