// A tank calibration session: what the installer set up (portion, tank, starting volume) and the
// table of points, each the cumulative volume poured and the settled level the sensor showed.
//
// The table is kept in order of volume. Checks mark the points a server could not use as they
// stand: a level that falls while the volume grows, a level at the sensor's full scale, a volume
// beyond the tank's, two points for one volume.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "calibration/settling.h"

namespace velkon::calibration {

struct Point {
    double volume = 0.0;  // litres poured so far, starting volume included
    double level = 0.0;   // mean settled level, in the sensor's units
    bool operator==(const Point&) const = default;
};

struct SessionInfo {
    std::string started;  // "DD.MM.YYYY HH:MM:SS"
    std::string serial;   // the sensor's serial number; empty when unknown
    std::string imei;     // the unit's IMEI; empty when unknown
    std::string vehicle;  // the vehicle or tank the table belongs to
    std::string installer;
    std::string firmware;  // the sensor's firmware version; empty when unknown
    std::string notes;     // the tank's shape and anything else worth handing over
    double portion = 0.0;  // litres per pour, > 0
    std::optional<double> tank_volume;
    double start_volume = 0.0;  // litres in the tank before the first pour
    int full_scale = 1024;      // levels run 0 .. full_scale - 1
    SettlingRule rule;
    bool operator==(const SessionInfo&) const = default;
};

enum Mark : unsigned {
    kFalls = 1u << 0,       // lower than a point of smaller volume
    kSaturated = 1u << 1,   // at the sensor's full scale
    kOverTank = 1u << 2,    // more than the tank holds
    kSameVolume = 1u << 3,  // another point has the same volume
};

struct PointCheck {
    unsigned marks = 0;
    std::string explanation;  // Russian, one sentence per mark; empty when the point is fine
    std::string note;         // worth knowing but no fault (the full tank at the scale's top)
};

// The short words of a marks column: "уровень упал, предел шкалы".
std::string mark_words(unsigned marks);

// Why the set-up cannot start a session, or nothing.
std::optional<std::string> check_info(const SessionInfo& info);
std::optional<std::string> check_rule(const SettlingRule& rule);

class Session {
  public:
    Session() = default;
    explicit Session(SessionInfo info) : info_(std::move(info)) {}

    const SessionInfo& info() const { return info_; }
    SessionInfo& info() { return info_; }
    const std::vector<Point>& points() const { return points_; }
    // The table and its set-up; which point was recorded last is no part of the saved session.
    bool operator==(const Session& other) const {
        return info_ == other.info_ && points_ == other.points_;
    }

    // The volume of the next point: the starting volume (the empty tank) while the table is
    // empty, then one portion above the fullest point, never beyond the tank's volume.
    double next_volume() const;

    // Each returns the index the point now has in the volume order.
    std::size_t add(Point point);
    std::size_t replace(std::size_t index, Point point);
    void remove(std::size_t index);
    // The whole table at once (undo and redo), put in volume order.
    void set_points(std::vector<Point> points);

    // The point just recorded by pouring (or draining): the next volume counts from it.
    void set_last_recorded(std::optional<Point> point) { last_recorded_ = point; }
    const std::optional<Point>& last_recorded() const { return last_recorded_; }

    std::vector<PointCheck> checks() const;
    bool saturated(double level) const;

  private:
    SessionInfo info_;
    std::vector<Point> points_;
    std::optional<Point> last_recorded_;
};

// "12.5", "20", "0.333": at most three decimals, no trailing zeros, `decimal` as the separator.
std::string format_number(double value, char decimal = '.', int decimals = 3);
// A number with "." or "," as the separator and blanks around it; nothing for anything else.
std::optional<double> parse_number(std::string_view text);

}  // namespace velkon::calibration
