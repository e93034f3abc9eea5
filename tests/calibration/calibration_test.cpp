// The calibration fed from the window model on a fixed clock: points are taken only once the
// shown level has settled, a silent sensor pauses the wait, and every change is on disk at once.
#include "calibration/calibration.h"

#include <gtest/gtest.h>

#include <fstream>

#include "model/window_model.h"
#include "support/test_support.h"

namespace velkon::calibration {
namespace {

struct Rig {
    test::TempDir folder;
    WindowModel model;
    Calibration cal{model, folder.path()};
    std::int64_t now = 0;

    Rig() {
        model.vars.Ur_progressBar = 1024;
        model.set_text(ctl::sn, "4242");
        SessionInfo info;
        info.started = "10.12.2026 09:15:30";
        info.serial = "4242";
        info.portion = 20;
        info.tank_volume = 200;
        info.rule = {10.0, 2.0};
        EXPECT_FALSE(cal.start(info));
    }
    // One exchange tick: the window shows `level` (or silence), the calibration takes a look.
    std::optional<std::string> tick(std::optional<int> level) {
        model.vars.no_data = !level;
        if (level) {
            model.set_text(ctl::uroven, std::to_string(*level));
            ++model.vars.levels_shown;
        }
        now += 500;
        return cal.sample(now);
    }
    Session on_disk() const {
        const Loaded back = load_file(cal.file());
        EXPECT_TRUE(back.session) << back.error;
        return back.session.value_or(Session{});
    }
};

TEST(Calibration, WaitsForTheLevelToSettleThenRecordsTheMeanAndSaves) {
    Rig r;
    EXPECT_EQ(r.cal.file().filename(), "2026-12-10_09-15-30_4242.tarirovka");
    for (int i = 0; i < 30; ++i) r.tick(100);  // settled long before the press
    r.cal.wait_for_point();
    // Readings from before the press do not count: the level has not moved yet.
    r.tick(100);
    EXPECT_TRUE(r.cal.session().points().empty());
    const int slosh[] = {160, 120, 150, 128, 141, 133, 138, 135};
    for (int level : slosh) r.tick(level);
    int ticks = 0;
    while (r.cal.waiting() && ticks < 100) {
        r.tick(136 + (ticks % 2));
        ++ticks;
    }
    // The band holds from the reading 138 on (two readings before the loop): T seconds later.
    EXPECT_EQ(ticks, 19);
    ASSERT_EQ(r.cal.session().points().size(), 1u);
    EXPECT_EQ(r.cal.session().points()[0].volume, 0);  // the empty tank comes first
    EXPECT_NEAR(r.cal.session().points()[0].level, 136.5, 0.1);
    const auto recorded = r.cal.take_recorded();
    ASSERT_TRUE(recorded);
    EXPECT_EQ(*recorded, 0u);
    EXPECT_EQ(r.on_disk(), r.cal.session());
}

TEST(Calibration, SilencePausesTheWaitAndItStartsAgainAfterwards) {
    Rig r;
    r.cal.wait_for_point();
    for (int i = 0; i < 15; ++i) r.tick(300);
    for (int i = 0; i < 4; ++i) r.tick(std::nullopt);
    EXPECT_TRUE(r.cal.paused());
    EXPECT_EQ(r.cal.feed().state, Feed::State::Silent);
    for (int i = 0; i < 20; ++i) {
        r.tick(300);
        EXPECT_TRUE(r.cal.session().points().empty()) << i;
    }
    r.tick(300);
    EXPECT_EQ(r.cal.session().points().size(), 1u);
    // No readings at all: «Записать сейчас» refuses rather than record a stale level.
    r.model.set_text(ctl::MsgCom, "");
    r.model.set_text(ctl::uroven, "Нет данных");
    r.cal.sample(r.now += 500);
    EXPECT_TRUE(r.cal.record_now());
    EXPECT_EQ(r.cal.session().points().size(), 1u);
}

// Answers that stop being intact (noise, a device at another speed) leave the last level on
// the page: after a second and a half without a new one it is no reading, and nothing settles
// on it.
TEST(Calibration, ALevelThatStopsComingIsNoReading) {
    Rig r;
    r.cal.wait_for_point();
    r.tick(300);
    for (int i = 0; i < 30; ++i) {
        r.cal.sample(r.now += 500);  // the page still shows 300, no new level
        EXPECT_TRUE(r.cal.session().points().empty()) << i;
    }
    EXPECT_EQ(r.cal.feed().state, Feed::State::NoData);
    EXPECT_TRUE(r.cal.record_now());  // refused
    for (int i = 0; i < 21; ++i) r.tick(300);
    EXPECT_EQ(r.cal.session().points().size(), 1u);
}

TEST(Calibration, RecordNowEditDeleteAndRemeasureAreAllOnDisk) {
    Rig r;
    r.tick(100);
    ASSERT_FALSE(r.cal.record_now());
    r.tick(210);
    ASSERT_FALSE(r.cal.record_now());
    ASSERT_EQ(r.cal.session().points().size(), 2u);
    EXPECT_EQ(r.cal.session().points()[1], (Point{20, 210}));

    ASSERT_FALSE(r.cal.edit(1, {45, 215}));
    EXPECT_EQ(r.on_disk().points()[1], (Point{45, 215}));
    EXPECT_TRUE(r.cal.edit(1, {-1, 215}));
    EXPECT_TRUE(r.cal.edit(9, {10, 10}));

    r.cal.wait_for_point(0);  // re-measure the first point: its volume stays
    for (int i = 0; i < 21; ++i) r.tick(104);
    EXPECT_EQ(r.cal.session().points()[0], (Point{0, 104}));
    EXPECT_EQ(r.on_disk(), r.cal.session());

    ASSERT_FALSE(r.cal.remove(0));
    EXPECT_EQ(r.on_disk().points().size(), 1u);
    ASSERT_FALSE(r.cal.set_rule({5.0, 1.0}));
    EXPECT_EQ(r.on_disk().info().rule.seconds, 5.0);
    EXPECT_TRUE(r.cal.set_rule({0.0, 1.0}));
}

TEST(Calibration, AFailedSaveUndoesTheChangeAndSaysWhy) {
    Rig r;
    r.tick(100);
    ASSERT_FALSE(r.cal.record_now());
    // The session's folder turns into a file: the next save cannot happen.
    const auto folder = r.cal.file().parent_path();
    std::filesystem::remove_all(folder);
    { std::ofstream(folder) << "x"; }
    r.tick(200);
    const auto error = r.cal.record_now();
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("Не удалось сохранить"), std::string::npos) << *error;
    EXPECT_EQ(r.cal.session().points().size(), 1u);
}

TEST(Calibration, ANewSessionForgetsARemeasureOfTheOldOne) {
    Rig r;
    r.tick(100);
    ASSERT_FALSE(r.cal.record_now());
    ASSERT_FALSE(r.cal.record_now());
    r.cal.wait_for_point(1);
    SessionInfo info;
    info.started = "10.12.2026 09:20:00";
    info.portion = 10;
    ASSERT_FALSE(r.cal.start(info));
    ASSERT_FALSE(r.cal.record_now());
    EXPECT_EQ(r.cal.session().points(), (std::vector<Point>{{0, 100}}));
}

// An installer's run: the empty tank, pours, a leak recorded as it happened, its volume corrected
// with the later points following, a mistaken edit taken back; every step undone and redone.
TEST(Calibration, UndoRedoAndShiftedVolumes) {
    Rig r;
    for (int level : {10, 100, 190}) {
        r.tick(level);
        ASSERT_FALSE(r.cal.record_now());
    }
    using Table = std::vector<Point>;
    EXPECT_EQ(r.cal.session().points(), (Table{{0, 10}, {20, 100}, {40, 190}}));
    // The point at 40 l was a leak down to 15 l poured: correct it, the points after it follow.
    r.tick(260);
    ASSERT_FALSE(r.cal.record_now());
    ASSERT_FALSE(r.cal.edit(2, {15, 190}, true));
    EXPECT_EQ(r.cal.session().points(), (Table{{0, 10}, {15, 190}, {20, 100}, {35, 260}}));
    EXPECT_EQ(r.on_disk().points(), r.cal.session().points());
    ASSERT_FALSE(r.cal.undo());
    EXPECT_EQ(r.cal.session().points(), (Table{{0, 10}, {20, 100}, {40, 190}, {60, 260}}));
    ASSERT_FALSE(r.cal.redo());
    EXPECT_EQ(r.cal.session().points(), (Table{{0, 10}, {15, 190}, {20, 100}, {35, 260}}));
    // A delete, undone: the table and the file are as before, the marks computed on it again.
    const Table before = r.cal.session().points();
    ASSERT_FALSE(r.cal.remove(0));
    ASSERT_FALSE(r.cal.undo());
    EXPECT_EQ(r.cal.session().points(), before);
    EXPECT_EQ(r.on_disk().points(), before);
    EXPECT_EQ(r.cal.session().checks()[2].marks, kFalls);
    // Undo all the way back to the empty table; a new change forgets what could be redone.
    while (r.cal.can_undo()) ASSERT_FALSE(r.cal.undo());
    EXPECT_TRUE(r.cal.session().points().empty());
    EXPECT_TRUE(r.cal.undo());  // nothing left: said, nothing changes
    ASSERT_TRUE(r.cal.can_redo());
    ASSERT_FALSE(r.cal.record_now());
    EXPECT_FALSE(r.cal.can_redo());
    // A drain of 15 l typed as a negative portion: the next point counts down from the last one
    // recorded, then up again with the next pour.
    {
        Rig d;
        for (int level : {10, 100, 190}) {
            d.tick(level);
            ASSERT_FALSE(d.cal.record_now());
        }
        ASSERT_FALSE(d.cal.set_portion(-15));
        d.tick(120);
        ASSERT_FALSE(d.cal.record_now());
        ASSERT_FALSE(d.cal.set_portion(20));
        EXPECT_EQ(d.cal.session().next_volume(), 45);
        EXPECT_EQ(d.cal.session().points(), (Table{{0, 10}, {20, 100}, {25, 120}, {40, 190}}));
    }
    // The empty point was really 5 l: the whole table moves up with it.
    ASSERT_FALSE(r.cal.record_now());
    ASSERT_FALSE(r.cal.edit(0, {5, 260}, true));
    EXPECT_EQ(r.cal.session().points(), (Table{{5, 260}, {25, 260}}));
}

// The plot's corner leaves room for a whole point (radius 6 px) at the fullest volume and the
// highest level, at every plot size; an empty table shows the sensor's whole scale.
TEST(Calibration, ThePlotsCornerLeavesRoomForTheEdgePoints) {
    SessionInfo info;
    info.tank_volume = 200;
    info.full_scale = 1024;
    Session full(info);
    full.add({0, 3});
    full.add({200, 1023});
    for (double size : {40.0, 240.0, 360.0, 1200.0}) {
        const PlotCorner c = table_plot_corner(full, size, size);
        EXPECT_GE((c.volume - 200) / c.volume * size, 6.0) << size;
        EXPECT_GE((c.level - 1023) / c.level * size, 6.0) << size;
    }
    const PlotCorner empty = table_plot_corner(Session(info), 360, 240);
    EXPECT_EQ(empty.volume, 200 * (1 + 9.0 / 360));
    EXPECT_EQ(empty.level, 1024);
}

// The plots' grid: round steps, none outside the axis, about as many as wanted.
TEST(Calibration, AxisTicksAreRoundAndInsideTheAxis) {
    const struct {
        double low, high;
        int wanted;
        std::vector<double> ticks;
    } cases[] = {
        {0, 1023, 4, {0, 500, 1000}},
        {0, 205, 5, {0, 50, 100, 150, 200}},
        {-180, 0, 5, {-150, -100, -50, 0}},
        {97, 113, 4, {100, 105, 110}},
        {5, 5, 4, {5}},
    };
    for (const auto& c : cases) {
        const auto ticks = axis_ticks(c.low, c.high, c.wanted);
        ASSERT_EQ(ticks.size(), c.ticks.size()) << c.low << ".." << c.high;
        for (std::size_t k = 0; k < ticks.size(); ++k) EXPECT_NEAR(ticks[k], c.ticks[k], 1e-9);
    }
}

}  // namespace
}  // namespace velkon::calibration
