// A tank for the simulated sensor: fuel poured in moves the level through the tank's shape, each
// pour sets the surface sloshing (a swing that dies away), and every reading carries a little
// noise. Time moves only through advance() and the noise comes from a seeded generator, so every
// run is reproducible.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkon::sim {

enum class TankShape {
    Straight,  // upright walls: the height grows with the volume in proportion
    Cylinder,  // a lying cylinder: the height grows fast at the middle, slowly at top and bottom
};

// How the surface moves.
struct TankMotion {
    double slosh_per_fill = 0.3;  // swing, as a part of the height, per part of volume poured
    double slosh_max = 0.08;      // the largest swing, as a part of the height
    double slosh_decay_s = 2.5;   // time for the swing to fall to 1/e
    double slosh_period_s = 1.7;  // one swing back and forth
    double noise = 0.0008;        // reading noise, as a part of the height, either way
};

class Tank {
  public:
    Tank(double volume_l, TankShape shape, TankMotion motion = {}, std::uint32_t seed = 1);

    // "200" or "200:cylinder" / "200:straight"; nothing for anything else.
    static std::optional<Tank> from_text(std::string_view text);

    double volume() const { return volume_; }
    TankShape shape() const { return shape_; }
    double contents() const { return contents_; }

    // Adds fuel (a negative amount drains it). The tank holds at most its volume and at least
    // nothing; returns the litres that actually went in or out.
    double pour(double litres);
    void advance(std::chrono::milliseconds elapsed);

    // The height of the surface at rest for a volume, as a part of the tank's height.
    static double rest_height(TankShape shape, double fill);
    // The surface where the sensor sees it now: at rest plus swing plus noise, within 0..1.
    double height() const;

  private:
    double volume_;
    TankShape shape_;
    TankMotion motion_;
    double contents_ = 0.0;
    double swing_ = 0.0;  // amplitude, part of the height
    double time_s_ = 0.0;
    double noise_now_ = 0.0;
    std::uint64_t rng_;
};

}  // namespace velkon::sim
