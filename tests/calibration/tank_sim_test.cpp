// A whole calibration against the simulator's lying-cylinder tank over a pseudo-terminal: ten
// pours, ten points taken when settled, the table matching the tank's shape within the noise,
// and the CSV export reading back. The simulator's time moves 500 ms with every request and the
// calibration's clock moves with the ticks, so the run takes no longer than the exchange itself.
#include <gtest/gtest.h>

#include "calibration/calibration.h"
#include "support/sim_window.h"

namespace velkon::calibration {
namespace {

TEST(TankCalibrationWithSimulator, TenPoursGiveATableOfTheTanksShape) {
    constexpr double kTank = 200;
    constexpr double kPortion = 20;
    testing::SimWindow w;
    w.server.with_device([](sim::Device& d) {
        d.sensor().tank = sim::Tank(kTank, sim::TankShape::Cylinder);
        d.sensor().fuel_ppm = 0;
    });
    ASSERT_TRUE(w.open()) << w.server.error();

    Calibration cal(w.model, w.folder.path());
    std::int64_t now = 0;
    auto tick = [&] {
        w.app.exchange().start_tick();
        now += 500;
        return cal.sample(now);
    };
    for (int i = 0; i < 6 && cal.feed().state != Feed::State::Reading; ++i) tick();
    ASSERT_EQ(cal.feed().state, Feed::State::Reading) << w.model.text(ctl::MsgCom);

    SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.portion = kPortion;
    info.tank_volume = kTank;
    info.rule = {10.0, 2.0};
    info.serial = cal.feed().serial;  // as the calibration window fills it
    ASSERT_FALSE(cal.start(info));

    int most_ticks = 0;
    // The empty tank first, then ten pours.
    for (int pour = 0; pour <= 10; ++pour) {
        if (pour > 0) w.server.with_device([](sim::Device& d) { d.sensor().tank->pour(kPortion); });
        cal.wait_for_point();
        int ticks = 0;
        while (cal.waiting() && ticks < 200) {
            ASSERT_FALSE(tick());
            ++ticks;
        }
        ASSERT_FALSE(cal.waiting()) << "pour " << pour << " never settled";
        // Never early: the slosh of a 20 l pour takes seconds to die down before T can start.
        if (pour > 0) {
            EXPECT_GT(ticks, 20) << "pour " << pour;
        }
        most_ticks = std::max(most_ticks, ticks);
    }

    const Session& s = cal.session();
    ASSERT_EQ(s.points().size(), 11u);
    // The sensor's serial, asked when the port opened, names the session and heads its file.
    EXPECT_EQ(s.info().serial, "4242");
    EXPECT_NE(cal.file().filename().string().find("_4242"), std::string::npos) << cal.file();
    const auto checks = s.checks();
    for (std::size_t i = 0; i < 11; ++i) {
        const Point& p = s.points()[i];
        EXPECT_DOUBLE_EQ(p.volume, kPortion * static_cast<double>(i));
        const double expected =
            sim::Tank::rest_height(sim::TankShape::Cylinder, p.volume / kTank) * 1023.0;
        EXPECT_NEAR(p.level, expected, 2.0) << "at " << p.volume << " l";
        EXPECT_EQ(checks[i].marks & kFalls, 0u) << checks[i].explanation;
        if (i > 0) {
            EXPECT_GT(p.level, s.points()[i - 1].level);
        }
    }
    // The full tank is at the top of the sensor's scale: a note, not a fault.
    EXPECT_EQ(checks[10].marks, 0u);
    EXPECT_FALSE(checks[10].note.empty());

    const auto csv = w.folder.path() / "tarirovka.csv";
    ASSERT_FALSE(cal.export_csv(csv, ','));
    const Loaded back = load_file(csv);
    ASSERT_TRUE(back.session) << back.error;
    EXPECT_EQ(back.session->points(), s.points());
    EXPECT_EQ(load_file(cal.file()).session, s);
    std::printf("[ info ] ticks per point at most: %d\n", most_ticks);
}

}  // namespace
}  // namespace velkon::calibration
