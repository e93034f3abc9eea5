#include "sim/tank.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

namespace velkon::sim {

namespace {

// The filled part of a circle's area when the surface stands at `h` (part of the diameter).
double segment_fill(double h) {
    const double theta = 2.0 * std::acos(1.0 - 2.0 * h);
    return (theta - std::sin(theta)) / (2.0 * std::numbers::pi);
}

}  // namespace

Tank::Tank(double volume_l, TankShape shape, TankMotion motion, std::uint32_t seed)
    : volume_(volume_l), shape_(shape), motion_(motion), rng_(seed * 2654435761u + 1) {}

std::optional<Tank> Tank::from_text(std::string_view text) {
    TankShape shape = TankShape::Straight;
    const auto colon = text.find(':');
    if (colon != std::string_view::npos) {
        const std::string_view name = text.substr(colon + 1);
        if (name == "cylinder") {
            shape = TankShape::Cylinder;
        } else if (name != "straight") {
            return std::nullopt;
        }
        text = text.substr(0, colon);
    }
    double volume = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), volume);
    if (ec != std::errc{} || end != text.data() + text.size() || !(volume > 0.0) ||
        volume > 1'000'000.0)
        return std::nullopt;
    return Tank(volume, shape);
}

double Tank::pour(double litres) {
    if (!std::isfinite(litres)) return 0.0;
    const double before = contents_;
    contents_ = std::clamp(contents_ + litres, 0.0, volume_);
    const double moved = contents_ - before;
    swing_ =
        std::min(motion_.slosh_max, swing_ + motion_.slosh_per_fill * std::abs(moved) / volume_);
    return moved;
}

void Tank::advance(std::chrono::milliseconds elapsed) {
    const double dt = static_cast<double>(elapsed.count()) / 1000.0;
    if (dt <= 0.0) return;
    time_s_ += dt;
    swing_ *= std::exp(-dt / motion_.slosh_decay_s);
    // One fresh noise value per step (xorshift64*), uniform in -1..1.
    rng_ ^= rng_ >> 12;
    rng_ ^= rng_ << 25;
    rng_ ^= rng_ >> 27;
    const std::uint64_t r = rng_ * 2685821657736338717ull;
    noise_now_ = (static_cast<double>(r >> 11) / 9007199254740992.0) * 2.0 - 1.0;
}

double Tank::rest_height(TankShape shape, double fill) {
    fill = std::clamp(fill, 0.0, 1.0);
    if (shape == TankShape::Straight) return fill;
    // The inverse of segment_fill by bisection: it rises monotonically from 0 to 1.
    double low = 0.0;
    double high = 1.0;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2.0;
        (segment_fill(mid) < fill ? low : high) = mid;
    }
    return (low + high) / 2.0;
}

double Tank::height() const {
    const double wave =
        swing_ * std::cos(2.0 * std::numbers::pi * time_s_ / motion_.slosh_period_s);
    const double h = rest_height(shape_, contents_ / volume_) + wave + motion_.noise * noise_now_;
    return std::clamp(h, 0.0, 1.0);
}

}  // namespace velkon::sim
