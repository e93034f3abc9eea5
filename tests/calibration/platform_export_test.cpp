// The table for a tracking platform: whole levels, the chosen order and separator, no header, and
// a table that does not rise refused with the point and its reason.
#include "calibration/platform_export.h"

#include <gtest/gtest.h>

namespace velkon::calibration {
namespace {

Session table(std::vector<Point> points) {
    SessionInfo info;
    info.portion = 20;
    Session s(info);
    for (const Point& p : points) s.add(p);
    return s;
}

TEST(PlatformExport, WholeLevelsInTheChosenOrderAndSeparator) {
    const Session s = table({{0, 12.4}, {20, 131.5}, {40.5, 250}});
    struct Case {
        PlatformFormat format;
        std::string text;
    };
    const Case cases[] = {
        {{true, ';'}, "12;0\r\n132;20\r\n250;40.5\r\n"},
        {{false, '\t'}, "0\t12\r\n20\t132\r\n40.5\t250\r\n"},
        {{true, ','}, "12,0\r\n132,20\r\n250,40.5\r\n"},
    };
    for (const Case& c : cases) {
        const PlatformText out = platform_table(s, c.format);
        EXPECT_EQ(out.error, "");
        EXPECT_EQ(out.text, c.text);
    }
}

TEST(PlatformExport, ATableThatDoesNotRiseIsRefusedWithThePoint) {
    struct Case {
        std::vector<Point> points;
        std::string says;
    };
    const Case cases[] = {
        {{{0, 10}, {20, 100}, {40, 90}}, "Точка 40 л: уровень 90 не выше уровня 100 точки 20 л"},
        {{{0, 10}, {20, 100.2}, {40, 99.9}},
         "Точка 40 л: уровень 100 не выше"},  // equal when whole
        {{{0, 10}, {20, 100}, {20, 110}}, "Точка 20 л: объём не больше"},
        {{{0, 10}}, "хотя бы две точки"},
    };
    for (const Case& c : cases) {
        const PlatformText out = platform_table(table(c.points), {});
        EXPECT_NE(out.error.find(c.says), std::string::npos) << out.error;
        EXPECT_EQ(out.text, "");
    }
}

}  // namespace
}  // namespace velkon::calibration
