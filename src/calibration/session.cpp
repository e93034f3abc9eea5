#include "calibration/session.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace velkon::calibration {

namespace {

constexpr double kMaxVolume = 1'000'000.0;  // litres; anything above is a typing slip

std::string litres(double volume) {
    return format_number(volume) + " л";
}

}  // namespace

std::string format_number(double value, char decimal, int decimals) {
    if (!std::isfinite(value)) return "0";
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc{}) return "0";
    std::string text(buffer, end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    std::replace(text.begin(), text.end(), '.', decimal);
    return text;
}

std::optional<double> parse_number(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::string plain(text);
    std::replace(plain.begin(), plain.end(), ',', '.');
    if (plain.front() == '+') plain.erase(0, 1);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec != std::errc{} || end != plain.data() + plain.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::string> check_info(const SessionInfo& info) {
    // A negative portion is a drain or a leak, taken as it happened during a session.
    if (!(info.portion != 0.0) || !(std::abs(info.portion) <= kMaxVolume))
        return "Порция не может быть нулём и больше 1000000 л по модулю (слив — со знаком минус).";
    if (info.tank_volume && (!(*info.tank_volume > 0.0) || *info.tank_volume > kMaxVolume))
        return "Объём бака должен быть больше нуля и не больше 1000000 л.";
    if (!(info.start_volume >= 0.0) || info.start_volume > kMaxVolume)
        return "Начальный объём должен быть от 0 до 1000000 л.";
    if (info.tank_volume && info.start_volume >= *info.tank_volume)
        return "Начальный объём должен быть меньше объёма бака.";
    if (info.full_scale < 2 || info.full_scale > 65536)
        return "Шкала датчика должна быть от 2 до 65536.";
    return check_rule(info.rule);
}

std::optional<std::string> check_rule(const SettlingRule& rule) {
    if (!(rule.seconds >= 1.0) || rule.seconds > 600.0)
        return "Время успокоения должно быть от 1 до 600 с.";
    if (!(rule.band >= 0.0) || rule.band > 1000.0)
        return "Допуск успокоения должен быть от 0 до 1000.";
    return std::nullopt;
}

double Session::next_volume() const {
    if (points_.empty()) return info_.start_volume;
    // From the point recorded last while it is in the table (after a drain that is not the
    // fullest one), else from the fullest.
    double base = points_.back().volume;
    if (last_recorded_)
        for (const Point& p : points_)
            if (p == *last_recorded_) base = p.volume;
    const double next = std::max(0.0, base + info_.portion);
    return info_.tank_volume ? std::min(next, std::max(*info_.tank_volume, base)) : next;
}

std::string mark_words(unsigned marks) {
    std::string out;
    auto add = [&out, marks](unsigned mark, const char* word) {
        if (!(marks & mark)) return;
        if (!out.empty()) out += ", ";
        out += word;
    };
    add(kFalls, "уровень упал");
    add(kSaturated, "предел шкалы");
    add(kOverTank, "больше бака");
    add(kSameVolume, "повтор объёма");
    return out;
}

std::size_t Session::add(Point point) {
    // After the points of the same volume, so a re-measured volume lands next to the first.
    const auto at =
        std::upper_bound(points_.begin(), points_.end(), point.volume,
                         [](double volume, const Point& p) { return volume < p.volume; });
    const auto index = static_cast<std::size_t>(at - points_.begin());
    points_.insert(at, point);
    return index;
}

std::size_t Session::replace(std::size_t index, Point point) {
    if (index >= points_.size()) return add(point);
    points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(index));
    return add(point);
}

void Session::remove(std::size_t index) {
    if (index < points_.size()) points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(index));
}

void Session::set_points(std::vector<Point> points) {
    points_.clear();
    for (const Point& p : points) add(p);
}

bool Session::saturated(double level) const {
    // A mean of readings that touch the top of the scale falls a little short of it.
    return level >= static_cast<double>(info_.full_scale - 2);
}

std::vector<PointCheck> Session::checks() const {
    std::vector<PointCheck> out(points_.size());
    // The highest level among the points of smaller volume, and where it was.
    std::optional<std::size_t> highest;
    std::optional<std::size_t> group_highest;  // the same within the current volume
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const Point& p = points_[i];
        if (i > 0 && points_[i - 1].volume < p.volume) {
            if (!highest || points_[*group_highest].level > points_[*highest].level)
                highest = group_highest;
            group_highest.reset();
        }
        if (!group_highest || p.level > points_[*group_highest].level) group_highest = i;

        PointCheck& c = out[i];
        auto explain = [&c](unsigned mark, const std::string& text) {
            c.marks |= mark;
            if (!c.explanation.empty()) c.explanation += ' ';
            c.explanation += text;
        };
        if (highest && p.level < points_[*highest].level) {
            const Point& h = points_[*highest];
            explain(kFalls, "Уровень " + format_number(p.level, '.', 1) + " ниже уровня " +
                                format_number(h.level, '.', 1) + " при " + litres(h.volume) +
                                ": с ростом объёма уровень не должен падать. Перемерьте точку "
                                "или проверьте, не ушло ли топливо.");
        }
        const bool same_before = i > 0 && points_[i - 1].volume == p.volume;
        const bool same_after = i + 1 < points_.size() && points_[i + 1].volume == p.volume;
        if (same_before || same_after)
            explain(kSameVolume, "Для объёма " + litres(p.volume) +
                                     " записано несколько точек: удалите лишнюю.");
        // The full tank may well reach the top of the scale: the last point at the tank's volume
        // is where the table ends, not a fault.
        const bool full_tank = info_.tank_volume && i + 1 == points_.size() &&
                               std::abs(p.volume - *info_.tank_volume) < 1e-9;
        if (saturated(p.level) && full_tank)
            c.note = "Полный бак у предела шкалы датчика (" + std::to_string(info_.full_scale - 1) +
                     "): таблица кончается здесь.";
        else if (saturated(p.level))
            explain(kSaturated, "Уровень у предела шкалы датчика (" +
                                    std::to_string(info_.full_scale - 1) +
                                    "): выше датчик топливо не различает. Если бак ещё не полон, "
                                    "для таблицы точка не годится.");
        if (info_.tank_volume && p.volume > *info_.tank_volume + 1e-9)
            explain(kOverTank, "Объём больше объёма бака (" + litres(*info_.tank_volume) + ").");
    }
    return out;
}

}  // namespace velkon::calibration
