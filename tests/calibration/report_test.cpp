// What the handed-over report says: every heading the installer and the fleet need, and the
// table's rows with their marks (the full tank's note is no mark).
#include "calibration/report.h"

#include <gtest/gtest.h>

namespace velkon::calibration {
namespace {

TEST(Report, HeadingAndRowsWithMarks) {
    SessionInfo info;
    info.started = "10.12.2026 09:15:30";
    info.serial = "4242";
    info.firmware = "12.3";
    info.imei = "866795030012345";
    info.vehicle = "А123ВС 77";
    info.portion = 20;
    info.tank_volume = 60;
    info.rule = {10, 2};
    Session s(info);
    for (const Point& p : std::vector<Point>{{0, 10}, {20, 300}, {40, 250}, {60, 1023}}) s.add(p);
    const Report r = make_report(s);
    auto value = [&r](const std::string& label) {
        for (const auto& h : r.heading)
            if (h.label == label) return h.value;
        return std::string("(нет строки)");
    };
    EXPECT_EQ(value("Машина, бак"), "А123ВС 77");
    EXPECT_EQ(value("Установщик"), "не указано");
    EXPECT_EQ(value("Датчик, серийный номер"), "4242");
    EXPECT_EQ(value("Прошивка датчика"), "12.3");
    EXPECT_EQ(value("IMEI блока"), "866795030012345");
    EXPECT_EQ(value("Объём бака"), "60 л");
    EXPECT_EQ(value("Правило успокоения"),
              "уровень держится в пределах ±2 не меньше 10 с; записывается среднее");
    ASSERT_EQ(r.rows.size(), 4u);
    EXPECT_TRUE(r.rows[2].marked);
    EXPECT_EQ(r.rows[2].marks, "уровень упал");
    EXPECT_FALSE(r.rows[3].marked);
    EXPECT_NE(r.rows[3].marks.find("Полный бак"), std::string::npos);
    EXPECT_EQ(r.summary, "Точек: 4, отмечено: 1.");
}

}  // namespace
}  // namespace velkon::calibration
