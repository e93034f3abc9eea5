// The settling detector: a point may be taken only when every reading of the last T seconds lay
// within ±D, never earlier, whatever noise or slosh the readings carry.
#include "calibration/settling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <string>

namespace velkon::calibration {
namespace {

constexpr std::int64_t kStepMs = 500;  // the exchange reads the sensor twice a second

struct Signal {
    std::string name;
    std::function<double(double seconds)> level;
};

void PrintTo(const Signal& c, std::ostream* os) {
    *os << c.name;
}

// A small repeatable pseudo-noise in -1..1.
double noise(double t) {
    return std::sin(t * 12.9898 + 78.233) * std::cos(t * 4.1414);
}

// Feeds a signal for 90 s and checks the first moment the detector calls it settled: only after T
// seconds in which no reading left the band, and not much later than that.
class SettlingOnSignals : public ::testing::TestWithParam<Signal> {};

TEST_P(SettlingOnSignals, SettlesOnlyAfterTQuietSeconds) {
    const SettlingRule rule{10.0, 2.0};
    SettlingDetector detector(rule);
    std::vector<std::pair<std::int64_t, double>> seen;
    std::optional<std::int64_t> settled_at;
    for (std::int64_t t = 0; t <= 90'000 && !settled_at; t += kStepMs) {
        const double level = GetParam().level(static_cast<double>(t) / 1000.0);
        detector.add(t, level);
        seen.push_back({t, level});
        if (detector.state().settled) settled_at = t;
    }
    ASSERT_TRUE(settled_at) << "never settled";
    // Every reading of the T seconds before the verdict lies within ±D of their middle.
    double low = 1e9, high = -1e9;
    for (const auto& [t, level] : seen) {
        if (t < *settled_at - 10'000) continue;
        low = std::min(low, level);
        high = std::max(high, level);
    }
    EXPECT_LE(high - low, 4.0);
    // ...and the verdict came within one reading of the earliest moment it could have.
    std::int64_t quiet_since = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        double lo = seen[i].second, hi = lo;
        for (std::size_t k = i; k < seen.size(); ++k) {
            lo = std::min(lo, seen[k].second);
            hi = std::max(hi, seen[k].second);
        }
        if (hi - lo <= 4.0) {
            quiet_since = seen[i].first;
            break;
        }
    }
    EXPECT_GE(*settled_at - quiet_since, 10'000);
    EXPECT_LE(*settled_at - quiet_since, 10'000 + kStepMs);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, SettlingOnSignals,
    ::testing::Values(Signal{"steady", [](double) { return 500.0; }},
                      Signal{"noise_within_band", [](double t) { return 500.0 + 1.9 * noise(t); }},
                      Signal{"slosh_dying_away",
                             [](double t) {
                                 return 500.0 + 40.0 * std::exp(-t / 3.0) *
                                                    std::cos(2 * std::numbers::pi * t / 1.7);
                             }},
                      Signal{"slosh_and_noise",
                             [](double t) {
                                 return 500.0 +
                                        25.0 * std::exp(-t / 2.5) *
                                            std::cos(2 * std::numbers::pi * t / 1.3) +
                                        1.2 * noise(t);
                             }},
                      Signal{"slow_creep_then_rest",
                             [](double t) { return 500.0 + std::min(t, 20.0) * 0.8; }}),
    [](const auto& info) { return info.param.name; });

TEST(Settling, OneJumpRestartsTheCountdownAndTheMeanIsOfTheLastTSeconds) {
    SettlingDetector detector({10.0, 2.0});
    std::int64_t t = 0;
    for (; t <= 8000; t += kStepMs) detector.add(t, 300.0);
    EXPECT_FALSE(detector.state().settled);
    EXPECT_NEAR(detector.state().remaining, 2.0, 1e-9);
    detector.add(t, 310.0);  // a splash
    EXPECT_FALSE(detector.state().settled);
    EXPECT_DOUBLE_EQ(detector.state().spread, 5.0);
    EXPECT_NEAR(detector.state().remaining, 10.0, 1e-9);
    const std::int64_t splash = t;
    for (t += kStepMs; t < splash + 10'000; t += kStepMs) {
        detector.add(t, t % 1000 ? 311.0 : 309.0);
        EXPECT_FALSE(detector.state().settled) << t;
    }
    detector.add(t, 311.0);
    const SettlingState s = detector.state();
    EXPECT_TRUE(s.settled);
    EXPECT_NEAR(s.mean, 310.0, 0.2);
    EXPECT_DOUBLE_EQ(s.spread, 1.0);
}

TEST(Settling, ResetAndANewRuleForgetTheReadingsTakenSoFar) {
    SettlingDetector detector({2.0, 1.0});
    for (std::int64_t t = 0; t <= 3000; t += kStepMs) detector.add(t, 100.0);
    ASSERT_TRUE(detector.state().settled);
    detector.reset();
    detector.add(3500, 100.0);
    EXPECT_FALSE(detector.state().settled);
    for (std::int64_t t = 4000; t <= 6000; t += kStepMs) detector.add(t, 100.0);
    ASSERT_TRUE(detector.state().settled);
    detector.set_rule({5.0, 1.0});
    detector.add(6500, 100.0);
    EXPECT_FALSE(detector.state().settled);
}

}  // namespace
}  // namespace velkon::calibration
