#include "calibration/settling.h"

#include <algorithm>
#include <cmath>

namespace velkon::calibration {

void SettlingDetector::set_rule(SettlingRule rule) {
    rule_ = rule;
    reset();
}

std::int64_t SettlingDetector::window_ms() const {
    return std::llround(std::max(0.0, rule_.seconds) * 1000.0);
}

void SettlingDetector::add(std::int64_t time_ms, double level) {
    if (!std::isfinite(level)) return;
    if (!readings_.empty() && time_ms < readings_.back().time_ms) return;
    readings_.push_back({time_ms, level});
    const std::int64_t window_start = time_ms - window_ms();
    // Keep one reading from before the window so a steady level can cover the whole window.
    while (readings_.size() >= 2 && readings_[1].time_ms <= window_start) readings_.pop_front();
}

SettlingState SettlingDetector::state() const {
    SettlingState s;
    if (readings_.empty()) {
        s.remaining = std::max(0.0, rule_.seconds);
        return s;
    }
    const std::int64_t newest = readings_.back().time_ms;
    const std::int64_t window_start = newest - window_ms();

    // Walk back from the newest reading while the readings still fit the band: where that run
    // begins is how long the level has been at rest.
    double low = readings_.back().level;
    double high = low;
    std::int64_t run_start = newest;
    for (auto it = readings_.rbegin(); it != readings_.rend(); ++it) {
        const double new_low = std::min(low, it->level);
        const double new_high = std::max(high, it->level);
        if (new_high - new_low > 2.0 * rule_.band) break;
        low = new_low;
        high = new_high;
        run_start = it->time_ms;
    }

    double window_low = readings_.back().level;
    double window_high = window_low;
    double sum = 0.0;
    for (const Reading& r : readings_) {
        if (r.time_ms < window_start) continue;
        window_low = std::min(window_low, r.level);
        window_high = std::max(window_high, r.level);
        sum += r.level;
        ++s.readings;
    }
    s.mean = s.readings ? sum / static_cast<double>(s.readings) : readings_.back().level;
    s.spread = (window_high - window_low) / 2.0;
    const double rested = static_cast<double>(newest - run_start) / 1000.0;
    s.remaining = std::max(0.0, rule_.seconds - rested);
    s.settled = newest - run_start >= window_ms();
    return s;
}

}  // namespace velkon::calibration
