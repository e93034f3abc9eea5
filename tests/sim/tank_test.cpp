// The simulator's tank: the shape maps volume to height, a pour sloshes and the slosh dies away,
// and the same seed gives the same readings.
#include "sim/tank.h"

#include <gtest/gtest.h>

#include <cmath>

#include "sim/device.h"

namespace velkon::sim {
namespace {

using namespace std::chrono_literals;

TEST(Tank, ShapesMapVolumeToHeight) {
    for (const double fill : {0.0, 0.25, 0.5, 0.8, 1.0})
        EXPECT_DOUBLE_EQ(Tank::rest_height(TankShape::Straight, fill), fill);
    // A lying cylinder: half full at half height; the narrow bottom and top hold little.
    EXPECT_NEAR(Tank::rest_height(TankShape::Cylinder, 0.5), 0.5, 1e-9);
    EXPECT_NEAR(Tank::rest_height(TankShape::Cylinder, 0.0), 0.0, 1e-9);
    EXPECT_NEAR(Tank::rest_height(TankShape::Cylinder, 1.0), 1.0, 1e-9);
    // The segment at height 0.2 of the diameter holds 14.24 % of the circle's area.
    EXPECT_NEAR(Tank::rest_height(TankShape::Cylinder, 0.142378), 0.2, 1e-4);
    EXPECT_NEAR(Tank::rest_height(TankShape::Cylinder, 1.0 - 0.142378), 0.8, 1e-4);
}

TEST(Tank, ParsesItsOption) {
    EXPECT_EQ(Tank::from_text("200")->shape(), TankShape::Straight);
    EXPECT_EQ(Tank::from_text("200:cylinder")->shape(), TankShape::Cylinder);
    EXPECT_DOUBLE_EQ(Tank::from_text("62.5:straight")->volume(), 62.5);
    for (const char* bad : {"", "0", "-5", "200:cube", "abc", "200:", "1e9"})
        EXPECT_FALSE(Tank::from_text(bad)) << bad;
}

TEST(Tank, APourSloshesThenComesToRestWithinTheNoise) {
    Tank tank(200, TankShape::Straight);
    EXPECT_DOUBLE_EQ(tank.pour(20), 20);
    double swing_first = 0;
    double swing_late = 0;
    for (int step = 0; step < 60; ++step) {  // 30 s
        tank.advance(500ms);
        const double off = std::abs(tank.height() - 0.1);
        if (step < 4) swing_first = std::max(swing_first, off);
        if (step >= 40) swing_late = std::max(swing_late, off);
    }
    EXPECT_GT(swing_first, 0.01);
    EXPECT_LT(swing_late, 0.0015);
    EXPECT_GT(swing_late, 0.0);             // still noisy
    EXPECT_DOUBLE_EQ(tank.pour(500), 180);  // holds no more than its volume
    EXPECT_DOUBLE_EQ(tank.pour(-300), -200);
}

TEST(Tank, TheSensorFollowsTheTankAndRunsRepeat) {
    auto run = [] {
        SensorState sensor;
        sensor.tank = Tank(200, TankShape::Cylinder);
        Device device(sensor);
        device.sensor().tank->pour(100);
        std::vector<int> levels;
        for (int i = 0; i < 40; ++i) {
            device.advance(500ms);
            levels.push_back(device.sensor().level());
        }
        return levels;
    };
    const auto levels = run();
    EXPECT_EQ(levels, run());
    EXPECT_NEAR(levels.back(), 512, 2);  // half the volume of a lying cylinder: half its height
}

}  // namespace
}  // namespace velkon::sim
