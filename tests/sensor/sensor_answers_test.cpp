// The sensor's answers shown in the window: readings, version, modes.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "exchange/exchange_engine.h"
#include "support/form_fixture.h"

namespace velkon {
namespace {

using testing::bytes;
using testing::framed;
using testing::LinkRig;
using Labels = std::map<ControlName, std::string>;

const ControlName kReadingLabels[] = {ctl::tek, ctl::temp, ctl::ne, ctl::uroven,
                                      ctl::lo,  ctl::hi,   ctl::ko};

Labels reading_labels(const WindowModel& m) {
    Labels out;
    for (ControlName name : kReadingLabels) out[name] = m.text(name);
    return out;
}

// The five operating-mode buttons and the three check boxes, as "name=0/1" in a fixed order.
std::string mode_controls(const WindowModel& m) {
    std::string out;
    for (ControlName name : {ctl::R485, ctl::R_a, ctl::R_f, ctl::R_p, ctl::R_p485, ctl::iinv,
                             ctl::usredn, ctl::D_4096}) {
        out += name.str() + "=" + (m.checked(name) ? "1 " : "0 ");
    }
    return out;
}

const std::string kReadings =
    bytes({0x3E, 0x00, 0xF0, 0x19, 0x00, 0x02, 0xE8, 0x03, 0x00, 0x00, 0x10,
           0x27, 0x00, 0x00, 0xA0, 0x86, 0x01, 0x00, 0x01, 0x00, 0x88, 0x5E});

TEST(ReadingsAnswer, ShowsEveryFieldThenTheModesOnce) {
    LinkRig r;
    r.open_link();
    r.vars().wrs = testing::kReadingsRequest;  // instead of the link's version request
    r.tick(kReadings);

    EXPECT_EQ(reading_labels(r.model), (Labels{{ctl::tek, "1000"},
                                               {ctl::temp, "25 °C"},
                                               {ctl::ne, "0"},
                                               {ctl::uroven, "512"},
                                               {ctl::lo, "10000"},
                                               {ctl::hi, "100000"},
                                               {ctl::ko, "1"}}));
    EXPECT_EQ(r.model[ctl::ProgressBar1].maximum, 1024);
    EXPECT_EQ(r.model.value(ctl::ProgressBar1), 512);
    EXPECT_EQ(r.model.text(ctl::MsgCom), "Получены данные.");
    EXPECT_EQ(mode_controls(r.model),
              "R485=1 R_a=0 R_f=0 R_p=0 R_p485=0 iinv=0 usredn=1 D_4096=1 ");
    EXPECT_EQ(r.vars().Ur_progressBar, 4096);
    EXPECT_FALSE(r.vars().mode_yes);

    // The new full scale reaches the bar with the next readings; the modes are left to the user.
    r.model.set_checked(ctl::usredn, false);
    r.tick(kReadings);
    EXPECT_EQ(r.model[ctl::ProgressBar1].maximum, 4096);
    EXPECT_FALSE(r.model.checked(ctl::usredn));
}

TEST(ReadingsAnswer, DamagedOrTooShortChangesNothingButTheStatus) {
    std::string damaged = kReadings;
    damaged.back() = 0x5F;
    const std::string too_short =
        framed({0x3E, 0x00, 0xF0, 0x19, 0x00, 0x02, 0xE8, 0x03, 0x00, 0x00, 0x10, 0x27, 0x00, 0x00,
                0xA0, 0x86, 0x01, 0x00, 0x01});  // 20 bytes, good check byte
    for (const std::string& answer : {damaged, too_short}) {
        LinkRig r;
        r.open_link();
        const Labels before = reading_labels(r.model);
        const std::string modes = mode_controls(r.model);
        r.tick("");  // a request goes out
        r.tick(answer);
        EXPECT_EQ(reading_labels(r.model), before);
        EXPECT_EQ(mode_controls(r.model), modes);
        EXPECT_EQ(r.model.value(ctl::ProgressBar1), 0);
        EXPECT_EQ(r.model.text(ctl::MsgCom), kDamagedSensorAnswer);
        EXPECT_TRUE(r.vars().mode_yes);
        EXPECT_EQ(r.model[ctl::Pic].color, kLampRed);
    }
    // Called directly with a short frame it reads nothing past the end and shows nothing.
    LinkRig r;
    const Labels before = reading_labels(r.model);
    r.app.sensor_answers().show_readings(too_short.substr(0, 12));
    EXPECT_EQ(reading_labels(r.model), before);
}

TEST(ReadingsAnswer, CurrentValueZeroShowsOnlyTheCalibration) {
    LinkRig r;
    r.open_link();
    r.model.set_value(ctl::ProgressBar1, 300);
    r.tick(bytes({0x3E, 0x00, 0xF0, 0xFF, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x10,
                  0x27, 0x00, 0x00, 0xA0, 0x86, 0x01, 0x00, 0x01, 0x00, 0xDB}));
    EXPECT_EQ(reading_labels(r.model), (Labels{{ctl::tek, "нет данных"},
                                               {ctl::temp, "нет данных"},
                                               {ctl::ne, "нет данных"},
                                               {ctl::uroven, "нет данных"},
                                               {ctl::lo, "10000"},
                                               {ctl::hi, "100000"},
                                               {ctl::ko, "1"}}));
    EXPECT_EQ(r.model.value(ctl::ProgressBar1), 300);
    EXPECT_TRUE(r.vars().mode_yes);  // no mode byte in a 21-byte answer
    EXPECT_EQ(r.model.text(ctl::MsgCom), "Получены данные.");
}

// Readings with current value 1000, the given temperature byte and level, no mode byte.
std::string readings(int temperature, int level) {
    return framed({0x3E,       0x02, 0xF0, temperature, level & 0xFF,
                   level >> 8, 0xE8, 0x03, 0,           0,
                   0,          0,    0,    0,           0,
                   0,          0,    0,    0,           0});
}

struct TemperatureCase {
    int byte;
    const char* shown;
};

class ReadingsTemperature : public ::testing::TestWithParam<TemperatureCase> {};

TEST_P(ReadingsTemperature, IsASignedByte) {
    LinkRig r;
    r.vars().Ur_progressBar = 1024;
    r.app.sensor_answers().show_readings(readings(GetParam().byte, 10));
    EXPECT_EQ(r.model.text(ctl::temp), GetParam().shown);
    EXPECT_EQ(r.model.text(ctl::ne), "2");
}

INSTANTIATE_TEST_SUITE_P(Bytes, ReadingsTemperature,
                         ::testing::Values(TemperatureCase{0xFF, "-1 °C"},
                                           TemperatureCase{0x80, "-128 °C"},
                                           TemperatureCase{0x7F, "127 °C"},
                                           TemperatureCase{0x00, "0 °C"}));

TEST(ReadingsAnswer, LevelAtTheFullScaleMovesTheTextButNotTheBar) {
    const struct {
        int scale, level, bar;
    } cases[] = {{1024, 1023, 1023}, {1024, 1024, 77}, {1024, 4000, 77}, {4096, 4000, 4000}};
    for (const auto& c : cases) {
        LinkRig r;
        r.vars().Ur_progressBar = c.scale;
        r.model.set_value(ctl::ProgressBar1, 77);
        r.app.sensor_answers().show_readings(readings(20, c.level));
        EXPECT_EQ(r.model.text(ctl::uroven), std::to_string(c.level));
        EXPECT_EQ(r.model[ctl::ProgressBar1].maximum, c.scale);
        EXPECT_EQ(r.model.value(ctl::ProgressBar1), c.bar) << c.level << " of " << c.scale;
    }
}

struct VersionCase {
    const char* name;
    std::string answer;
    const char* sn;
    const char* vv;
    // Enabled after the answer: R_a (130), R_p (131), D_4096 (163).
    bool r_a, r_p, d_4096;
};

class VersionAnswer : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionAnswer, ShowsSerialAndVersionAndEnablesTheGroups) {
    const VersionCase& c = GetParam();
    LinkRig r;
    r.open_link();
    r.model.set_text(ctl::MsgCom, "before");
    r.tick(c.answer);
    EXPECT_EQ(r.model.text(ctl::sn), c.sn);
    EXPECT_EQ(r.model.text(ctl::vv), c.vv);
    EXPECT_EQ(r.model.enabled(ctl::R_a), c.r_a);
    EXPECT_EQ(r.model.enabled(ctl::R_f), c.r_a);
    EXPECT_EQ(r.model.enabled(ctl::R_p), c.r_p);
    EXPECT_EQ(r.model.enabled(ctl::D_4096), c.d_4096);
    EXPECT_EQ(r.model.enabled(ctl::sdv_hi), c.d_4096);
    EXPECT_EQ(r.model.enabled(ctl::R_p485), c.d_4096);
    EXPECT_EQ(r.model.text(ctl::MsgCom), "before");
}

constexpr const char* kVvStart = "-------------------";

INSTANTIATE_TEST_SUITE_P(
    Answers, VersionAnswer,
    ::testing::Values(VersionCase{"V163", bytes({0x3E, 0, 0xFC, 0x2A, 0, 0, 0, 0xA3, 0x00, 0xFA}),
                                  "42", "1.6.3.", true, true, true},
                      VersionCase{"V105Lead2",
                                  bytes({0x3E, 0, 0xFC, 0x2A, 0, 0, 0, 0x69, 0x02, 0x15}), "42",
                                  "21.0.5.", false, false, false},
                      VersionCase{"V7", framed({0x3E, 0, 0xFC, 1, 2, 3, 4, 7, 0}), "67305985",
                                  "7...", false, false, false},
                      VersionCase{"V130", framed({0x3E, 0, 0xFC, 0xFF, 0xFF, 0xFF, 0xFF, 130, 0}),
                                  "4294967295", "1.3.0.", true, false, false},
                      VersionCase{"V131", framed({0x3E, 0, 0xFC, 5, 0, 0, 0, 131, 0}), "5",
                                  "1.3.1.", true, true, false},
                      VersionCase{"V162", framed({0x3E, 0, 0xFC, 5, 0, 0, 0, 162, 0}), "5",
                                  "1.6.2.", true, true, false},
                      VersionCase{"FourBytes", framed({0x3E, 0, 0xFC}), "????????", kVvStart, false,
                                  false, false},
                      VersionCase{"SixBytes", framed({0x3E, 0, 0xFC, 0x2A, 0}), "????????",
                                  kVvStart, false, false, false},
                      // The check byte ends the serial number.
                      VersionCase{"SevenBytes", framed({0x3E, 0, 0xFC, 0x2A, 0, 0}), "1660944426",
                                  kVvStart, false, false, false},
                      VersionCase{"NineBytes", framed({0x3E, 0, 0xFC, 0x2A, 0, 0, 0, 0xA3}), "42",
                                  kVvStart, false, false, false},
                      VersionCase{"ElevenBytes",
                                  bytes({0x3E, 0, 0xFC, 0x2A, 0, 0, 0, 0xA3, 0, 0xFA, 0}), "42",
                                  kVvStart, false, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ModeCase {
    int mode;
    const char* controls;
    int scale;
};

class ModeDisplay : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeDisplay, SetsTheControlsAndTheFullScale) {
    LinkRig r;
    r.model.set_checked(ctl::R_p, true);  // a value without a button leaves this one set
    r.vars().mode_yes = true;
    r.app.sensor_answers().show_modes(static_cast<std::uint8_t>(GetParam().mode));
    EXPECT_EQ(mode_controls(r.model), GetParam().controls);
    EXPECT_EQ(r.vars().Ur_progressBar, GetParam().scale);
    EXPECT_FALSE(r.vars().mode_yes);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ModeDisplay,
    ::testing::Values(
        ModeCase{0x00, "R485=1 R_a=0 R_f=0 R_p=0 R_p485=0 iinv=0 usredn=0 D_4096=0 ", 1024},
        ModeCase{0x0A, "R485=0 R_a=1 R_f=0 R_p=0 R_p485=0 iinv=0 usredn=1 D_4096=0 ", 1024},
        ModeCase{0x04, "R485=0 R_a=0 R_f=1 R_p=0 R_p485=0 iinv=0 usredn=0 D_4096=0 ", 1024},
        ModeCase{0x06, "R485=0 R_a=0 R_f=0 R_p=1 R_p485=0 iinv=0 usredn=0 D_4096=0 ", 1024},
        ModeCase{0x10, "R485=0 R_a=0 R_f=0 R_p=0 R_p485=1 iinv=0 usredn=0 D_4096=0 ", 1024},
        ModeCase{0x81, "R485=1 R_a=0 R_f=0 R_p=0 R_p485=0 iinv=1 usredn=0 D_4096=1 ", 4096},
        ModeCase{0x12, "R485=0 R_a=0 R_f=0 R_p=1 R_p485=0 iinv=0 usredn=0 D_4096=0 ", 1024},
        ModeCase{0x9F, "R485=0 R_a=0 R_f=0 R_p=1 R_p485=0 iinv=1 usredn=1 D_4096=1 ", 4096}));

TEST(ModeAnswer, SetsTheModesWhateverTheFlag) {
    LinkRig r;
    r.open_link();
    r.vars().mode_yes = false;
    r.vars().Ur_progressBar = 4096;
    r.model.set_checked(ctl::iinv, true);
    r.tick(bytes({0x3E, 0x00, 0xF2, 0x0A, 0x2B}));
    EXPECT_EQ(r.model.text(ctl::MsgCom), " Установлен новый режим.");
    EXPECT_EQ(mode_controls(r.model),
              "R485=0 R_a=1 R_f=0 R_p=0 R_p485=0 iinv=0 usredn=1 D_4096=0 ");
    EXPECT_EQ(r.vars().Ur_progressBar, 1024);
}

}  // namespace
}  // namespace velkon
