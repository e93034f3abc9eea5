// A whole calibration against the simulator's lying-cylinder tank over a pseudo-terminal: ten
// pours, ten points taken when settled, the table matching the tank's shape within the noise,
// and the CSV export reading back. The simulator's time moves 500 ms with every request and the
// calibration's clock moves with the ticks, so the run takes no longer than the exchange itself.
#include <gtest/gtest.h>

#include "calibration/calibration.h"
#include "calibration/report.h"
#include "support/sim_window.h"

namespace velkon::calibration {
namespace {

// The simulator's tank on the line, the link open and the sensor read; the calibration's clock
// moves with the exchange ticks.
class TankOnTheLine : public ::testing::Test {
  protected:
    void open(double litres, sim::TankShape shape) {
        w.server.with_device([&](sim::Device& d) {
            d.sensor().tank = sim::Tank(litres, shape);
            d.sensor().fuel_ppm = 0;
        });
        ASSERT_TRUE(w.open()) << w.server.error();
        for (int i = 0; i < 6 && cal.feed().state != Feed::State::Reading; ++i) tick();
        ASSERT_EQ(cal.feed().state, Feed::State::Reading) << w.model.text(ctl::MsgCom);
    }
    std::optional<std::string> tick() {
        w.app.exchange().start_tick();
        now += 500;
        return cal.sample(now);
    }
    void pour(double litres) {
        w.server.with_device([litres](sim::Device& d) { d.sensor().tank->pour(litres); });
    }

    testing::SimWindow w;
    Calibration cal{w.model, w.folder.path()};
    std::int64_t now = 0;
};

TEST_F(TankOnTheLine, TenPoursGiveATableOfTheTanksShape) {
    constexpr double kTank = 200;
    constexpr double kPortion = 20;
    ASSERT_NO_FATAL_FAILURE(open(kTank, sim::TankShape::Cylinder));

    SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.portion = kPortion;
    info.tank_volume = kTank;
    info.rule = {10.0, 2.0};
    info.serial = cal.feed().serial;  // as the calibration window fills it
    ASSERT_FALSE(cal.start(info));

    int most_ticks = 0;
    // The empty tank first, then ten pours.
    for (int n = 0; n <= 10; ++n) {
        if (n > 0) pour(kPortion);
        cal.wait_for_point();
        int ticks = 0;
        while (cal.waiting() && ticks < 200) {
            ASSERT_FALSE(tick());
            ++ticks;
        }
        ASSERT_FALSE(cal.waiting()) << "pour " << n << " never settled";
        // Never early: the slosh of a 20 l pour takes seconds to die down before T can start.
        if (n > 0) {
            EXPECT_GT(ticks, 20) << "pour " << n;
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

// An installer's day: the empty tank, two pours, a pour during which more leaked out than went
// in (marked where it happened), that point's volume corrected to what the tank holds, the next
// pours counted on from the corrected point, a point recorded without pouring and taken back,
// the full tank; then a table a platform takes and a report without marks.
TEST_F(TankOnTheLine, ALeakAndAMistakeAreMendedBeforeTheHandOver) {
    constexpr double kTank = 100;
    ASSERT_NO_FATAL_FAILURE(open(kTank, sim::TankShape::Straight));
    SessionInfo info;
    info.started = "11.12.2026 10:00:00";
    info.portion = 20;
    info.tank_volume = kTank;
    info.rule = {5.0, 2.0};
    ASSERT_FALSE(cal.start(info));
    auto pour_and_record = [&](double litres) {
        pour(litres);
        cal.wait_for_point();
        for (int ticks = 0; cal.waiting() && ticks < 200; ++ticks) ASSERT_FALSE(tick());
        ASSERT_FALSE(cal.waiting()) << "never settled";
    };
    auto volumes = [&] {
        std::vector<double> out;
        for (const Point& p : cal.session().points()) out.push_back(p.volume);
        return out;
    };
    pour_and_record(0);
    pour_and_record(20);
    pour_and_record(20);
    // 20 l poured while 30 l ran out: the tank holds 30 l, the table says 60 l.
    pour_and_record(20 - 30);
    ASSERT_EQ(volumes(), (std::vector<double>{0, 20, 40, 60}));
    auto checks = cal.session().checks();
    EXPECT_EQ(checks[3].marks, kFalls) << checks[3].explanation;
    EXPECT_EQ(checks[2].marks, 0u);
    ASSERT_FALSE(cal.edit(3, {30, cal.session().points()[3].level}));
    pour_and_record(20);  // the tank holds 50 l
    EXPECT_EQ(volumes(), (std::vector<double>{0, 20, 30, 40, 50}));
    // «Записать сейчас» without a pour, then taken back.
    ASSERT_FALSE(cal.record_now());
    EXPECT_EQ(volumes().back(), 70);
    ASSERT_FALSE(cal.undo());
    for (int pour = 0; pour < 3; ++pour) pour_and_record(pour < 2 ? 20 : 10);
    EXPECT_EQ(volumes(), (std::vector<double>{0, 20, 30, 40, 50, 70, 90, 100}));
    checks = cal.session().checks();
    for (const PointCheck& c : checks) EXPECT_EQ(c.marks, 0u) << c.explanation;
    const PlatformText platform = platform_table(cal.session(), {});
    EXPECT_EQ(platform.error, "");
    EXPECT_EQ(make_report(cal.session()).summary, "Точек: 8, все без замечаний.");
}

}  // namespace
}  // namespace velkon::calibration
