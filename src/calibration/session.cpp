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
    const std::size_t n = points_.size();
    // The points that break the rise are the fewest whose removal leaves a rising table: one
    // wrong point (a spike after a re-measure, a dip after a leak) is marked itself, not every
    // good point after it. `longest[i]`: the longest rising run from point i on; a point may
    // follow another of the same volume whatever its level (that is the same-volume mark's job).
    auto may_follow = [this](std::size_t i, std::size_t j) {
        return points_[j].level >= points_[i].level || points_[j].volume == points_[i].volume;
    };
    std::vector<std::size_t> longest(n, 1);
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = i + 1; j < n; ++j)
            if (may_follow(i, j)) longest[i] = std::max(longest[i], longest[j] + 1);
    // Kept: the run that keeps the earliest points, so of two equal choices the later is marked.
    std::vector<bool> kept(n, false);
    std::size_t want = 0;
    for (std::size_t i = 0; i < n; ++i) want = std::max(want, longest[i]);
    std::optional<std::size_t> last;
    for (std::size_t i = 0; i < n && want > 0; ++i) {
        if (longest[i] == want && (!last || may_follow(*last, i))) {
            kept[i] = true;
            last = i;
            --want;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        const Point& p = points_[i];
        PointCheck& c = out[i];
        auto explain = [&c](unsigned mark, const std::string& text) {
            c.marks |= mark;
            if (!c.explanation.empty()) c.explanation += ' ';
            c.explanation += text;
        };
        if (!kept[i]) {
            std::optional<std::size_t> before, after;
            for (std::size_t k = 0; k < i; ++k)
                if (kept[k] && points_[k].level > p.level && points_[k].volume < p.volume &&
                    (!before || points_[k].level >= points_[*before].level))
                    before = k;
            for (std::size_t k = i + 1; k < n && !after; ++k)
                if (kept[k] && points_[k].level < p.level && points_[k].volume > p.volume)
                    after = k;
            if (before) {
                const Point& h = points_[*before];
                explain(kFalls, "Уровень " + format_number(p.level, '.', 1) + " ниже уровня " +
                                    format_number(h.level, '.', 1) + " при " + litres(h.volume) +
                                    ": с ростом объёма уровень не должен падать. Перемерьте "
                                    "точку или проверьте, не ушло ли топливо.");
            } else if (after) {
                const Point& l = points_[*after];
                explain(kFalls, "Уровень " + format_number(p.level, '.', 1) + " выше уровня " +
                                    format_number(l.level, '.', 1) + " при " + litres(l.volume) +
                                    ": с ростом объёма уровень не должен падать. Перемерьте "
                                    "точку.");
            }
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
