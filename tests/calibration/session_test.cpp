// The table's checks: falling levels, the sensor's full scale, the tank's volume, doubled volumes.
#include "calibration/session.h"

#include <gtest/gtest.h>

namespace velkon::calibration {
namespace {

Session make(std::vector<Point> points, std::optional<double> tank = 100.0) {
    SessionInfo info;
    info.portion = 10;
    info.tank_volume = tank;
    info.full_scale = 1024;
    Session s(info);
    for (const Point& p : points) s.add(p);
    return s;
}

std::vector<unsigned> marks(const Session& s) {
    std::vector<unsigned> out;
    for (const auto& c : s.checks()) out.push_back(c.marks);
    return out;
}

struct MarkCase {
    std::string name;
    std::vector<Point> points;
    std::vector<unsigned> expected;  // in volume order
};

void PrintTo(const MarkCase& c, std::ostream* os) {
    *os << c.name;
}

class Marks : public ::testing::TestWithParam<MarkCase> {};

TEST_P(Marks, MarkExactlyThePointsThatBreakTheRules) {
    const Session s = make(GetParam().points);
    EXPECT_EQ(marks(s), GetParam().expected);
    for (const auto& c : s.checks()) EXPECT_EQ(c.marks != 0, !c.explanation.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, Marks,
    ::testing::Values(
        MarkCase{"monotone", {{10, 100}, {20, 200}, {30, 200}, {40, 300}}, {0, 0, 0, 0}},
        // Given out of order, the table sorts by volume: the 20 l point falls below 10 l.
        MarkCase{"one_dip", {{20, 90}, {10, 100}, {30, 300}}, {0, kFalls, 0}},
        // Everything after a spike that is lower than it is marked, the spike itself is not.
        MarkCase{"after_spike", {{10, 100}, {20, 900}, {30, 300}, {40, 950}}, {0, 0, kFalls, 0}},
        // A re-measure that went wrong: the one spike is marked, not the good points after it.
        MarkCase{"remeasured_spike",
                 {{0, 10}, {20, 236.4}, {40, 150}, {60, 190}, {80, 230}},
                 {0, kFalls, 0, 0, 0}},
        // A leak: the one low point is marked, the rise goes on after it.
        MarkCase{"leak_dip", {{0, 10}, {20, 100}, {40, 60}, {60, 190}}, {0, 0, kFalls, 0}},
        MarkCase{"full_scale", {{10, 1021.9}, {20, 1022}, {30, 1023}}, {0, kSaturated, kSaturated}},
        MarkCase{"over_tank", {{90, 900}, {110, 1000}}, {0, kOverTank}},
        MarkCase{"same_volume", {{10, 100}, {10, 104}, {20, 200}}, {kSameVolume, kSameVolume, 0}},
        MarkCase{"same_volume_lower_than_before",
                 {{10, 100}, {20, 90}, {20, 200}},
                 {0, kFalls | kSameVolume, kSameVolume}}),
    [](const auto& info) { return info.param.name; });

TEST(SessionTable, ExplainsAFallWithTheVolumeItFellFrom) {
    const Session s = make({{10, 100}, {20, 90}});
    EXPECT_EQ(s.checks()[1].explanation.find("Уровень 90 ниже уровня 100 при 10 л"), 0u)
        << s.checks()[1].explanation;
    const Session spike = make({{0, 10}, {20, 236.4}, {40, 150}, {60, 190}});
    EXPECT_EQ(spike.checks()[1].explanation.find("Уровень 236.4 выше уровня 150 при 40 л"), 0u)
        << spike.checks()[1].explanation;
}

TEST(SessionTable, NextVolumeStartsAtTheEmptyTankThenOnePortionAboveTheFullestPoint) {
    Session s = make({}, std::nullopt);
    s.info().start_volume = 5;
    EXPECT_DOUBLE_EQ(s.next_volume(), 5);  // the tank before the first pour
    s.add({15, 10});
    s.add({25, 20});
    EXPECT_DOUBLE_EQ(s.next_volume(), 35);
    EXPECT_EQ(s.replace(0, {40, 30}), 1u);  // an edited volume moves the point in the order
    EXPECT_DOUBLE_EQ(s.next_volume(), 50);
    s.remove(1);
    s.remove(7);  // no such point: nothing happens
    EXPECT_EQ(s.points().size(), 1u);
}

// The prompt never offers more than the tank holds: the last pour tops it up to its volume.
TEST(SessionTable, NextVolumeStopsAtTheTank) {
    Session s = make({{0, 10}, {90, 900}}, 100.0);
    EXPECT_DOUBLE_EQ(s.next_volume(), 100);
    s.add({100, 1000});
    EXPECT_DOUBLE_EQ(s.next_volume(), 100);
    s.add({110, 1010});  // typed beyond the tank: nothing below the fullest point is offered
    EXPECT_DOUBLE_EQ(s.next_volume(), 110);
}

// The full tank at the top of the scale ends the table: a note, no mark; short of full, a mark.
TEST(SessionTable, FullScaleIsANoteOnlyForTheFullTank) {
    struct Case {
        const char* name;
        std::optional<double> tank;
        double last_volume;
        bool marked;
    };
    const Case cases[] = {{"full tank", 100.0, 100, false},
                          {"short of full", 100.0, 90, true},
                          {"tank unknown", std::nullopt, 100, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Session s = make({{0, 10}, {50, 500}, {c.last_volume, 1023}}, c.tank);
        const PointCheck last = s.checks().back();
        EXPECT_EQ((last.marks & kSaturated) != 0, c.marked);
        EXPECT_EQ(last.note.empty(), c.marked);
    }
    EXPECT_EQ(mark_words(kFalls | kOverTank), "уровень упал, больше бака");
}

TEST(SessionTable, NumbersReadWithEitherSeparatorAndPrintWithTheOneAsked) {
    EXPECT_EQ(parse_number(" 12,5 "), 12.5);
    EXPECT_EQ(parse_number("12.5\r"), 12.5);
    EXPECT_EQ(parse_number("-3"), -3.0);
    for (const char* bad : {"", "1,2,3", "12 л", "nan", "inf", "1e999", "0x10"})
        EXPECT_FALSE(parse_number(bad)) << bad;
    EXPECT_EQ(format_number(12.5, ','), "12,5");
    EXPECT_EQ(format_number(20.0, ','), "20");
    EXPECT_EQ(format_number(1.0 / 3.0), "0.333");
    EXPECT_EQ(format_number(-0.0001), "0");
}

}  // namespace
}  // namespace velkon::calibration
