// Whether the fuel in a tank has come to rest: the level readings of the last T seconds all lie
// within a band of ±D around their middle. Time comes with every reading (milliseconds from any
// fixed start), so the detector reads no clock of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

namespace velkon::calibration {

struct SettlingRule {
    double seconds = 10.0;  // T
    double band = 2.0;      // D, in level units either side
    bool operator==(const SettlingRule&) const = default;
};

struct SettlingState {
    bool settled = false;
    double mean = 0.0;       // of the readings of the last T seconds
    double spread = 0.0;     // half of (highest - lowest) over the last T seconds
    double remaining = 0.0;  // seconds still to wait if nothing moves from now on
    std::size_t readings = 0;
};

class SettlingDetector {
  public:
    explicit SettlingDetector(SettlingRule rule = {}) : rule_(rule) {}

    const SettlingRule& rule() const { return rule_; }
    // A new rule starts the wait again: a band that was just widened must not count readings
    // taken under the narrower one as settled.
    void set_rule(SettlingRule rule);

    // Readings must come in time order; one older than the newest is ignored.
    void add(std::int64_t time_ms, double level);
    // Forgets every reading: the wait starts again with the next one.
    void reset() { readings_.clear(); }

    SettlingState state() const;

  private:
    struct Reading {
        std::int64_t time_ms;
        double level;
    };
    std::int64_t window_ms() const;

    SettlingRule rule_;
    // The readings of the last T seconds and the newest one before them, which tells whether the
    // band reaches back a whole T seconds.
    std::deque<Reading> readings_;
};

}  // namespace velkon::calibration
