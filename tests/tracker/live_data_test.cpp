// The live-data answer (code 0xA0) shown in the labels of page "Трекер" and the level bar.
#include <gtest/gtest.h>

#include "support/form_fixture.h"
#include "tracker/answers.h"

namespace velkon {
namespace {

using testing::FormFixture;
using tracker_test::Answer;

constexpr std::size_t kFullLength = 59;  // a complete answer before its check byte

struct ScaleCase {
    const char* name;
    std::size_t position;
    std::string data;
    ControlName control;
    const char* shown;
};

void PrintTo(const ScaleCase& c, std::ostream* os) {
    *os << c.name;
}

class LiveScaling : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(LiveScaling, ShowsTheValueScaledInDecimalWithAPoint) {
    FormFixture f;
    f.app.tracker().show_live_data(
        Answer(0xA0, kFullLength).put(GetParam().position, GetParam().data).frame());
    EXPECT_EQ(f.model.text(GetParam().control), GetParam().shown);
    EXPECT_EQ(f.model.text(ctl::MsgCom), "Получены данные");
}

using tracker_test::bytes;

// A Russian desktop writes «13,8»: the fraction follows the user's decimal separator.
TEST(LiveDecimalSeparator, IsTheUsersOne) {
    testing::StandIns stand_ins;
    testing::FakePort port;
    testing::HoldingRunner reader;
    ConfiguratorSeams seams = stand_ins.seams(port, reader);
    seams.decimal_separator = ",";
    Configurator app(stand_ins.model, seams);
    app.tracker().show_live_data(Answer(0xA0, kFullLength)
                                     .put(6, bytes({0x94, 0x11}))
                                     .put(10, bytes({0x64, 0x05}))
                                     .put(12, bytes({0x01, 0x02}))
                                     .frame());
    EXPECT_EQ(stand_ins.model.text(ctl::ain1), "12,5");
    EXPECT_EQ(stand_ins.model.text(ctl::ain3), "13,8");
    EXPECT_EQ(stand_ins.model.text(ctl::fin1), "513");
}

INSTANTIATE_TEST_SUITE_P(
    Values, LiveScaling,
    ::testing::Values(ScaleCase{"Analog3600", 6, bytes({0x10, 0x0E}), ctl::ain1, "10"},
                      ScaleCase{"Analog4500", 6, bytes({0x94, 0x11}), ctl::ain1, "12.5"},
                      ScaleCase{"AnalogZero", 6, bytes({0x00, 0x00}), ctl::ain1, "0"},
                      ScaleCase{"AnalogHalfDownToEven", 6, bytes({9, 0}), ctl::ain1, "0.02"},
                      ScaleCase{"AnalogHalfUpToEven", 6, bytes({27, 0}), ctl::ain1, "0.08"},
                      ScaleCase{"AnalogLargest", 6, bytes({0xFF, 0xFF}), ctl::ain1, "182.04"},
                      ScaleCase{"SecondAnalog", 8, bytes({0x94, 0x11}), ctl::ain2, "12.5"},
                      ScaleCase{"Supply1234", 10, bytes({0xD2, 0x04}), ctl::ain3, "12.34"},
                      ScaleCase{"SupplyTenths", 10, bytes({0x0A, 0x00}), ctl::ain3, "0.1"},
                      ScaleCase{"SupplyWhole", 10, bytes({0xE8, 0x03}), ctl::ain3, "10"},
                      ScaleCase{"FrequencyLittleEndian", 12, bytes({0x01, 0x02}), ctl::fin1, "513"},
                      ScaleCase{"SecondFrequency", 14, bytes({0xFF, 0xFF}), ctl::fin2, "65535"},
                      ScaleCase{"Input2Only", 16, bytes({0x02}), ctl::in1, "0"},
                      ScaleCase{"Input2Set", 16, bytes({0x02}), ctl::in2, "1"},
                      ScaleCase{"BothInputs1", 16, bytes({0x03}), ctl::in1, "1"},
                      ScaleCase{"BothInputs2", 16, bytes({0x03}), ctl::in2, "1"},
                      ScaleCase{"ChannelBigEndian", 17, bytes({0x01, 0x02}), ctl::lls1, "258"},
                      ScaleCase{"LastChannel", 31, bytes({0xFF, 0xFE}), ctl::lls8, "65534"},
                      ScaleCase{"Gsm", 33, bytes({21}), ctl::gsm, "21"},
                      ScaleCase{"Satellites", 34, bytes({9}), ctl::sputn, "9"},
                      ScaleCase{"Traffic", 35, bytes({255}), ctl::traf, "255"},
                      ScaleCase{"SignalToNoise", 36, bytes({31}), ctl::ns, "31"}),
    [](const auto& info) { return std::string(info.param.name); });

struct LevelCase {
    int byte;
    int bar;
};

class LiveLevel : public ::testing::TestWithParam<LevelCase> {};

TEST_P(LiveLevel, ByteAtPosition37AboveFiftyCountsAsZero) {
    FormFixture f;
    f.model.set_value(ctl::ProgressBar1, 7);
    f.app.tracker().show_live_data(Answer(0xA0, kFullLength).put(37, {GetParam().byte}).frame());
    EXPECT_EQ(f.model.value(ctl::ProgressBar1), GetParam().bar);
}

INSTANTIATE_TEST_SUITE_P(Levels, LiveLevel,
                         ::testing::Values(LevelCase{0, 0}, LevelCase{50, 50}, LevelCase{51, 0},
                                           LevelCase{255, 0}));

// What each label needs of the answer: the last position of its value, and the length from which
// the unit's firmware sends its group.
struct Needs {
    ControlName control;
    std::size_t last;
    std::size_t group = 0;
};
constexpr Needs kNeeds[] = {
    {ctl::ain1, 7},       {ctl::ain2, 9},      {ctl::ain3, 11},     {ctl::fin1, 13},
    {ctl::fin2, 15},      {ctl::in1, 16},      {ctl::in2, 16},      {ctl::lls1, 18, 18},
    {ctl::lls2, 20, 18},  {ctl::lls7, 30, 18}, {ctl::lls8, 32, 18}, {ctl::gsm, 33, 34},
    {ctl::sputn, 34, 34}, {ctl::traf, 35, 34}, {ctl::ns, 36, 36},
};

// Every length of a cut answer (16 or 17 bytes: inputs only; 18 to 31: the channels it holds;
// exactly 34: no traffic; 36 to 58: no level bar): each label changes exactly when the answer
// holds its value and its group, and nothing is read past the end.
TEST(LiveShortAnswer, ShowsWhatItHoldsAndLeavesTheRest) {
    Answer full(0xA0, kFullLength);
    for (std::size_t position = 4; position <= kFullLength; ++position) {
        full.put(position, {0x03});  // every value non-zero, every input bit set
    }
    full.put(37, {40});
    for (std::size_t length = 0; length <= kFullLength + 1; ++length) {
        SCOPED_TRACE("answer of " + std::to_string(length) + " bytes");
        FormFixture f;
        for (const Needs& n : kNeeds) f.model.set_text(n.control, "before");
        f.model.set_value(ctl::ProgressBar1, 7);
        f.app.tracker().show_live_data(full.cut(length));
        for (const Needs& n : kNeeds) {
            const bool shown = length >= n.last && length >= n.group;
            EXPECT_EQ(f.model.text(n.control) != "before", shown) << n.control;
        }
        EXPECT_EQ(f.model.value(ctl::ProgressBar1), length >= 59 ? 40 : 7);
    }
}

}  // namespace
}  // namespace velkon
