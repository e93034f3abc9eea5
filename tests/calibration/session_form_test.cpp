// The session's set-up form read the same way by every window: what it accepts, what it refuses
// and with which message, and the form refilled from a loaded session.
#include "calibration/session_form.h"

#include <gtest/gtest.h>

namespace velkon::calibration {
namespace {

struct FormCase {
    const char* name;
    SessionForm form;
    std::optional<std::string> error;
    double portion = 0, start = 0;
    std::optional<double> tank;
};

TEST(SessionForm, ReadsTheSetUpOrSaysWhatIsWrong) {
    auto form = [](std::string portion, std::string tank, std::string start, double seconds = 10,
                   double band = 2) {
        SessionForm f;
        f.portion = std::move(portion);
        f.tank = std::move(tank);
        f.start_volume = std::move(start);
        f.settle_seconds = seconds;
        f.settle_band = band;
        return f;
    };
    const FormCase cases[] = {
        {"plain", form("20", "", "0"), std::nullopt, 20, 0, std::nullopt},
        {"comma and blanks", form(" 12,5 ", "200", " "), std::nullopt, 12.5, 0, 200.0},
        {"start volume", form("10", "200,0", "35.5"), std::nullopt, 10, 35.5, 200.0},
        {"portion not a number", form("двадцать", "", "0"), "Введите порцию в литрах, например 20.",
         0, 0, std::nullopt},
        {"portion empty", form("", "", "0"), "Введите порцию в литрах, например 20.", 0, 0,
         std::nullopt},
        {"tank not a number", form("20", "200 л", "0"),
         "Введите объём бака в литрах или оставьте поле пустым.", 0, 0, std::nullopt},
        {"start not a number", form("20", "", "x"), "Введите начальный объём в литрах, например 0.",
         0, 0, std::nullopt},
        {"zero portion", form("0", "", "0"),
         "Порция должна быть больше нуля и не больше 1000000 л.", 0, 0, std::nullopt},
        {"start at the tank's volume", form("20", "200", "200"),
         "Начальный объём должен быть меньше объёма бака.", 0, 0, std::nullopt},
        {"rule out of range", form("20", "", "0", 0.5, 2),
         "Время успокоения должно быть от 1 до 600 с.", 0, 0, std::nullopt},
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.name);
        const FormReading read = read_form(c.form);
        EXPECT_EQ(read.error, c.error);
        if (c.error) continue;
        EXPECT_EQ(read.info.portion, c.portion);
        EXPECT_EQ(read.info.start_volume, c.start);
        EXPECT_EQ(read.info.tank_volume, c.tank);
        EXPECT_EQ(read.info.rule.seconds, c.form.settle_seconds);
        EXPECT_EQ(read.info.rule.band, c.form.settle_band);
    }
}

TEST(SessionForm, ALoadedSessionReadsBackUnchanged) {
    SessionInfo info;
    info.portion = 12.5;
    info.tank_volume = 200;
    info.start_volume = 7.25;
    info.rule = {15, 1.5};
    info.vehicle = "А123ВС 77, левый бак";
    info.installer = "Петров";
    info.notes = "лежачий цилиндр";
    for (char decimal : {'.', ','}) {
        const SessionForm form = form_of(info, decimal);
        EXPECT_EQ(form.portion, decimal == ',' ? "12,5" : "12.5");
        const FormReading read = read_form(form);
        ASSERT_FALSE(read.error);
        EXPECT_EQ(read.info, info);
    }
    info.tank_volume.reset();
    EXPECT_EQ(form_of(info).tank, "");
}

TEST(SessionForm, PortionAndCellTexts) {
    EXPECT_EQ(read_portion("15,5").portion, 15.5);
    EXPECT_EQ(read_portion("abc").error, "Введите порцию в литрах, например 20.");
    EXPECT_EQ(read_portion("-5").portion, -5);  // a drain, during a session
    EXPECT_EQ(read_portion("0").error,
              "Порция не может быть нулём и больше 1000000 л по модулю (слив — со знаком минус).");
    EXPECT_FALSE(read_portion("0").portion);
    EXPECT_EQ(read_cell(" 131,2 ").value, 131.2);
    EXPECT_EQ(read_cell("").error, "Введите число, например 12,5.");
}

}  // namespace
}  // namespace velkon::calibration
