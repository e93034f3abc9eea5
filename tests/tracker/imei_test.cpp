// The IMEI and SIM answer (code 0xA7) and the serial-number binding record.
#include <gtest/gtest.h>

#include "protocol/cp1251.h"
#include "support/form_fixture.h"
#include "tracker/answers.h"

namespace velkon {
namespace {

using testing::FormFixture;
using tracker_test::Answer;
using tracker_test::file_content;

const std::string kImei = "356938035643809";
const std::string kSim = "89701010000000000012";
const std::string kDayHeader = "Start: 10.12.2026 09:15:30\r\n\r\n";

Frame imei_answer(const std::string& imei, const std::string& sim) {
    return Answer(0xA7, 39).put(4, imei).put(19, "\x01").put(20, sim).frame();
}

struct Loaded : FormFixture {
    Loaded() { app.start(); }
    std::optional<std::string> day_file() { return file_content(vars().day_file); }
};

TEST(ImeiAnswer, ShowsImeiAndSimNumber) {
    Loaded f;
    f.app.tracker().show_imei(imei_answer(kImei, kSim));
    EXPECT_EQ(f.model.text(ctl::imei), kImei);
    EXPECT_EQ(f.model.text(ctl::nsim), kSim);
    EXPECT_EQ(f.model.text(ctl::MsgCom), "Считаны IMEI");
}

TEST(ImeiAnswer, DecodesTheCodePage) {
    Loaded f;
    f.app.tracker().show_imei(imei_answer("\xC8\xCC\xC5\xC9", "\xD1\xC8\xCC"));
    EXPECT_EQ(f.model.text(ctl::imei).substr(0, 8), "ИМЕЙ");
    EXPECT_EQ(f.model.text(ctl::nsim).substr(0, 6), "СИМ");
}

struct ShortCase {
    std::size_t length;
    std::size_t imei_chars;
    std::size_t sim_chars;
};

class ImeiShortAnswer : public ::testing::TestWithParam<ShortCase> {};

TEST_P(ImeiShortAnswer, ShowsAsManyBytesAsItHolds) {
    Loaded f;
    const Frame answer = imei_answer(kImei, kSim).substr(0, GetParam().length);
    f.app.tracker().show_imei(answer);
    EXPECT_EQ(f.model.text(ctl::imei), kImei.substr(0, GetParam().imei_chars));
    EXPECT_EQ(f.model.text(ctl::nsim), kSim.substr(0, GetParam().sim_chars));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ImeiShortAnswer,
                         ::testing::Values(ShortCase{3, 0, 0}, ShortCase{4, 1, 0},
                                           ShortCase{18, 15, 0}, ShortCase{19, 15, 0},
                                           ShortCase{20, 15, 1}, ShortCase{38, 15, 19},
                                           ShortCase{39, 15, 20}));

TEST(Binding, AppendsSerialSimAndImeiToTheDayFile) {
    Loaded f;
    f.app.tracker().show_imei(imei_answer(kImei, kSim));
    f.dialogs.inputs.push_back("S-100");
    f.app.fire(ctl::sl3);
    ASSERT_EQ(f.dialogs.inputs_asked.size(), 1u);
    EXPECT_EQ(f.dialogs.inputs_asked[0].prompt, "Введите серийный номер");
    EXPECT_EQ(f.dialogs.inputs_asked[0].title, "Ввод серийного номера");
    EXPECT_EQ(f.dialogs.inputs_asked[0].initial, "0");
    EXPECT_EQ(f.model.text(ctl::ns), "S-100");
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_EQ(f.day_file(), kDayHeader + "S-100;" + kSim + ";" + kImei + "\r\n");
}

struct GuardCase {
    const char* name;
    std::string sim;
    std::string imei;
    bool recorded;
};

void PrintTo(const GuardCase& c, std::ostream* os) {
    *os << c.name;
}

class BindingGuard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(BindingGuard, NeedsAReadImeiAndSim) {
    Loaded f;
    f.model.set_text(ctl::nsim, GetParam().sim);
    f.model.set_text(ctl::imei, GetParam().imei);
    f.dialogs.inputs.push_back("77");
    f.app.fire(ctl::sl3);
    if (GetParam().recorded) {
        EXPECT_TRUE(f.dialogs.messages.empty());
        // The day file holds the code page's bytes.
        const auto line = utf8_to_cp1251("77;" + GetParam().sim + ";" + GetParam().imei);
        ASSERT_TRUE(line);
        EXPECT_EQ(f.day_file(), kDayHeader + *line + "\r\n");
    } else {
        ASSERT_EQ(f.dialogs.texts(), std::vector<std::string>{"Cчитайте IMEI!"});
        EXPECT_EQ(f.dialogs.texts()[0][0], 'C');  // the Latin letter
        EXPECT_EQ(f.day_file(), kDayHeader);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Guards, BindingGuard,
    ::testing::Values(GuardCase{"Sim19", kSim.substr(0, 19), kImei, true},
                      GuardCase{"Sim18", kSim.substr(0, 18), kImei, false},
                      GuardCase{"Imei14", kSim, kImei.substr(0, 14), true},
                      GuardCase{"Imei13", kSim, kImei.substr(0, 13), false},
                      GuardCase{"NotRead", "NOT READ", "NOT READ", false},
                      // 19 Cyrillic letters are 19 characters, though 38 bytes of UTF-8.
                      GuardCase{"CountsCharacters", "ССССССССССССССССССС", kImei, true},
                      GuardCase{"CutAnswer", kSim.substr(0, 1), kImei, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The accessibility interface sets a box's text directly, line breaks included. A line break
// would start a forged record line and a ";" would shift the fields: such a serial number is
// refused with a message, nothing is recorded, and the sensor command sends nothing.
struct ForgedCase {
    const char* name;
    ControlName button;
    std::string typed;
};

void PrintTo(const ForgedCase& c, std::ostream* os) {
    *os << c.name;
}

class ForgingSerial : public ::testing::TestWithParam<ForgedCase> {};

TEST_P(ForgingSerial, IsRefusedAndRecordsNothing) {
    Loaded f;
    f.open_link();
    f.app.tracker().show_imei(imei_answer(kImei, kSim));
    f.app.outbox().clear();
    f.dialogs.inputs.push_back(GetParam().typed);
    f.app.fire(GetParam().button);
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_NE(f.dialogs.texts()[0].find("Серийный номер не может содержать перевод строки или "
                                        "знак «;»"),
              std::string::npos)
        << f.dialogs.texts()[0];
    EXPECT_EQ(f.day_file(), kDayHeader);
    EXPECT_EQ(f.app.outbox().pending(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ForgingSerial,
    ::testing::Values(ForgedCase{"BindingForgedLine", ctl::sl3, "12\r\n99;" + kSim + ";" + kImei},
                      ForgedCase{"BindingLineFeed", ctl::sl3, "12\n"},
                      ForgedCase{"BindingCarriageReturn", ctl::sl3, "12\r"},
                      ForgedCase{"BindingSeparator", ctl::sl3, "12;34"},
                      ForgedCase{"SensorCommandForgedLine", ctl::InstSN,
                                 "12\r\n99;" + kSim + ";" + kImei},
                      ForgedCase{"SensorCommandSeparator", ctl::InstSN, "12;"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Binding, CancelEmptiesTheSerialLabelAndRecordsNothing) {
    Loaded f;
    f.app.tracker().show_imei(imei_answer(kImei, kSim));
    f.model.set_text(ctl::ns, "31");
    f.dialogs.inputs.push_back("");
    f.app.fire(ctl::sl3);
    EXPECT_EQ(f.model.text(ctl::ns), "");
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_EQ(f.day_file(), kDayHeader);
}

TEST(Binding, ADayFileThatCannotBeWrittenIsReported) {
    Loaded f;
    f.app.tracker().show_imei(imei_answer(kImei, kSim));
    std::filesystem::remove(f.vars().day_file);
    std::filesystem::create_directories(f.vars().day_file / "x");  // a folder in its place
    f.dialogs.inputs.push_back("5");
    f.app.fire(ctl::sl3);
    EXPECT_EQ(f.dialogs.messages.size(), 1u);
}

}  // namespace
}  // namespace velkon
