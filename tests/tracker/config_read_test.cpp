// A configuration answer (code 0xA2) shown in the controls of the tracker pages.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "support/form_fixture.h"
#include "tracker/answers.h"

namespace velkon {
namespace {

using testing::FormFixture;
using tracker_test::Answer;
using tracker_test::bytes;
using tracker_test::config_answer;

enum class Shows { Text, Checked, Visible };

struct Expect {
    const char* control;
    Shows shows;
    std::string text;  // Text
    bool on = false;   // Checked, Visible
};

Expect text(const char* control, std::string value) {
    return {control, Shows::Text, value};
}
Expect checked(const char* control, bool on) {
    return {control, Shows::Checked, "", on};
}
Expect visible(const char* control, bool on) {
    return {control, Shows::Visible, "", on};
}

struct ReadCase {
    const char* name;
    std::size_t position;
    std::string data;  // what the answer carries from `position` on
    std::vector<Expect> expect;
};

// Puts each expected control into the other state first, so a control left alone fails.
void set_opposite(WindowModel& m, const Expect& e) {
    switch (e.shows) {
        case Shows::Text:
            m.set_text(e.control, e.text + "-before");
            break;
        case Shows::Checked:
            m.set_checked(e.control, !e.on);
            break;
        case Shows::Visible:
            m.set_visible(e.control, !e.on);
            break;
    }
}

void check(const WindowModel& m, const Expect& e) {
    switch (e.shows) {
        case Shows::Text:
            EXPECT_EQ(m.text(e.control), e.text) << e.control;
            break;
        case Shows::Checked:
            EXPECT_EQ(m.checked(e.control), e.on) << e.control;
            break;
        case Shows::Visible:
            EXPECT_EQ(m.visible(e.control), e.on) << e.control;
            break;
    }
}

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadAnswer : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadAnswer, ShowsTheFieldInItsControl) {
    FormFixture f;
    for (const Expect& e : GetParam().expect) set_opposite(f.model, e);
    f.app.tracker().show_configuration(
        config_answer().put(GetParam().position, GetParam().data).frame());
    for (const Expect& e : GetParam().expect) check(f.model, e);
    EXPECT_TRUE(f.dialogs.messages.empty());
}

const std::string kNul30(30, '\0');

INSTANTIATE_TEST_SUITE_P(
    Fields, ReadAnswer,
    ::testing::Values(
        ReadCase{"EmptyApn", 5, kNul30, {text("apn", "")}},
        ReadCase{
            "ApnUpToTheFirstNul", 5, std::string("internet\0x", 10), {text("apn", "internet")}},
        ReadCase{"ApnFillingItsWholeField",
                 5,
                 std::string(30, 'a'),
                 {text("apn", std::string(30, 'a')), text("gsm_user", "")}},
        ReadCase{
            "CyrillicUserDecoded", 35, bytes({0xC8, 0xE2, 0xE0, 0xED}), {text("gsm_user", "Иван")}},
        ReadCase{"GsmPasswordAndPin",
                 55,
                 std::string(20, 'p') + "1234",
                 {text("gdm_pwd", std::string(20, 'p')), text("pincod", "1234")}},
        ReadCase{"ServerAndItsPort",
                 80,
                 std::string("203.0.113.10") + std::string(13, '\0') + std::string("20332\0", 6),
                 {text("ip_serv", "203.0.113.10"), text("port_serv", "20332")}},
        ReadCase{"SixCharPortShowsFive",
                 105,
                 "123456",
                 {text("port_serv", "12345"), text("id_dev", "")}},
        ReadCase{"IdentifierAndPassword",
                 111,
                 std::string("0000012345") +
                     bytes({0xED, 0xE5, 0x20, 0xF2, 0xF0, 0xEE, 0xE3, 0xE0, 0xE9}),
                 {text("id_dev", "0000012345"), text("pwd_serv", "не трогай")}},
        ReadCase{"PeriodTen", 146, bytes({0x0A, 0x00}), {text("time_otpr", "10")}},
        ReadCase{"PeriodThousand", 146, bytes({0xE8, 0x03}), {text("time_otpr", "1000")}},
        ReadCase{"PeriodIsLittleEndian", 146, bytes({0x34, 0x12}), {text("time_otpr", "4660")}},
        ReadCase{"Byte81ChecksChannelOneAndEgts",
                 150,
                 bytes({0x81}),
                 {checked("Check1", true), checked("EGTS_prot", true)}},
        ReadCase{"Byte80ChecksOnlyEgts",
                 150,
                 bytes({0x80}),
                 {checked("Check1", false), checked("EGTS_prot", true)}},
        ReadCase{"Byte01ChecksOnlyChannelOne",
                 150,
                 bytes({0x01}),
                 {checked("Check1", true), checked("EGTS_prot", false)}},
        ReadCase{"ChannelFlagsFollowBitZero",
                 151,
                 bytes({0x01, 0xFE, 0xFF, 0, 0, 0, 0x01}),
                 {checked("Check2", true), checked("Check3", false), checked("Check4", true),
                  checked("Check5", false), checked("Check8", true)}},
        ReadCase{"Addresses",
                 158,
                 bytes({0, 1, 2, 3, 4, 5, 200, 255}),
                 {text("ad1", "0"), text("ad2", "1"), text("ad7", "200"), text("ad8", "255")}},
        ReadCase{"Version42HidesEgts",
                 166,
                 bytes({0x00, 0x2A}),
                 {text("vPo", "42"), visible("EGTS_prot", false), visible("Label42", false)}},
        ReadCase{"Version43ShowsEgts",
                 166,
                 bytes({0x00, 0x2B}),
                 {text("vPo", "43"), visible("EGTS_prot", true), visible("Label42", true)}},
        ReadCase{"VersionIsBigEndian", 166, bytes({0x01, 0x02}), {text("vPo", "258")}},
        ReadCase{
            "SerialAllOnes", 168, bytes({0xFF, 0xFF, 0xFF, 0xFF}), {text("sern", "4294967295")}},
        ReadCase{
            "SerialIsBigEndian", 168, bytes({0x00, 0x01, 0x86, 0xA0}), {text("sern", "100000")}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ModeCase {
    std::uint8_t mode;
    const char* selected;  // the option button checked afterwards
};

class ReadInputMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ReadInputMode, SelectsItsOptionOrLeavesThemForAnUnknownByte) {
    for (const char* input : {"r1", "r2"}) {
        SCOPED_TRACE(input);
        FormFixture f;
        const std::string prefix = input;
        f.model.set_checked(prefix + "3", true);
        const std::size_t position = prefix == "r1" ? 148 : 149;
        f.app.tracker().show_configuration(
            config_answer().put(position, {GetParam().mode}).frame());
        const std::string expected = prefix + GetParam().selected;
        for (const char* k : {"1", "2", "3"}) {
            EXPECT_EQ(f.model.checked(prefix + k), prefix + k == expected) << prefix + k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ReadInputMode,
                         ::testing::Values(ModeCase{1, "1"}, ModeCase{2, "2"}, ModeCase{3, "3"},
                                           ModeCase{0, "3"}, ModeCase{4, "3"},
                                           ModeCase{0xFF, "3"}));

// The last position each control needs, written out from the unit's layout.
struct Needs {
    const char* control;
    std::size_t last;
};
constexpr Needs kNeeds[] = {
    {"apn", 34},        {"gsm_user", 54}, {"gdm_pwd", 74},   {"pincod", 79},     {"ip_serv", 104},
    {"port_serv", 109}, {"id_dev", 120},  {"pwd_serv", 145}, {"time_otpr", 147}, {"ad1", 158},
    {"ad4", 161},       {"ad8", 165},     {"vPo", 167},      {"sern", 171},
};
constexpr Needs kNeedsChecked[] = {
    {"r12", 148},       {"r22", 149},    {"Check1", 150},
    {"EGTS_prot", 150}, {"Check2", 151}, {"Check8", 157},
};

// Every length of a cut answer, from nothing to complete: a record is shown whole or not at all,
// since a cut one would mix this read's fields with an earlier read's, perhaps of another unit.
// Nothing is read past the end.
TEST(ReadShortAnswer, ChangesNothingUntilEveryFieldIsThere) {
    Answer full = config_answer();
    full.put(5, std::string(30, 'A'))
        .put(35, std::string(20, 'U'))
        .put(55, std::string(20, 'P'))
        .put(75, "12345")
        .put(80, std::string(25, 'S'))
        .put(105, "543210")
        .put(111, std::string(10, 'I'))
        .put(121, std::string(25, 'W'))
        .put(146, {0x2C, 0x01})
        .put(148, {2, 2, 0x81, 1, 1, 1, 1, 1, 1, 1})
        .put(158, {11, 12, 13, 14, 15, 16, 17, 18})
        .put(166, {0, 43, 0, 0, 0x30, 0x39});
    const std::map<std::string, std::string> shown = {{"apn", std::string(30, 'A')},
                                                      {"gsm_user", std::string(20, 'U')},
                                                      {"gdm_pwd", std::string(20, 'P')},
                                                      {"pincod", "12345"},
                                                      {"ip_serv", std::string(25, 'S')},
                                                      {"port_serv", "54321"},
                                                      {"id_dev", std::string(10, 'I')},
                                                      {"pwd_serv", std::string(25, 'W')},
                                                      {"time_otpr", "300"},
                                                      {"ad1", "11"},
                                                      {"ad4", "14"},
                                                      {"ad8", "18"},
                                                      {"vPo", "43"},
                                                      {"sern", "12345"}};

    for (std::size_t length = 0; length <= 172; ++length) {
        SCOPED_TRACE("answer of " + std::to_string(length) + " bytes");
        FormFixture f;
        for (const Needs& n : kNeeds) f.model.set_text(n.control, "before");
        f.model.set_checked("r11", true);
        f.model.set_checked("r21", true);
        f.model.set_visible("EGTS_prot", false);
        f.app.tracker().show_configuration(full.cut(length));
        const bool whole = length >= 171;
        for (const Needs& n : kNeeds) {
            EXPECT_EQ(f.model.text(n.control), whole ? shown.at(n.control) : "before") << n.control;
        }
        for (const Needs& n : kNeedsChecked)
            EXPECT_EQ(f.model.checked(n.control), whole) << n.control;
        EXPECT_EQ(f.model.visible("EGTS_prot"), whole);
        if (!whole) {
            EXPECT_EQ(f.model.text("MsgCom"), kConfigurationCut);
        }
    }
}

// The unit's answers arrive through the exchange and are used only when their check byte
// matches; a refused configuration leaves every field as it was and says why.
struct RefusedCase {
    const char* name;
    std::function<Frame()> answer;
    std::string_view status;
    const char* control;  // a control the answer would have changed
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

Frame flipped(Frame frame, std::size_t index) {
    frame[index] = static_cast<char>(frame[index] ^ 0x01);
    return frame;
}

class RefusedAnswer : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedAnswer, LeavesTheControlsAndSaysWhy) {
    FormFixture f;
    f.open_link();
    f.model.set_tab(1);
    f.tick("");  // notices the page and sends the read
    f.model.set_text(GetParam().control, "before");
    f.tick(GetParam().answer());  // the answer arrives
    EXPECT_EQ(f.model.text(GetParam().control), "before");
    EXPECT_EQ(f.model.text("MsgCom"), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusedAnswer,
    ::testing::Values(
        // "internet" with one bit flipped would show "indernet" and be written back.
        RefusedCase{"ConfigurationBitFlipped",
                    [] { return flipped(config_answer().put(5, "internet").frame(), 6); },
                    kConfigurationDamaged, "apn"},
        RefusedCase{"ConfigurationCheckByteWrong",
                    [] { return flipped(config_answer().put(5, "internet").frame(), 171); },
                    kConfigurationDamaged, "apn"},
        RefusedCase{"ConfigurationCut", [] { return config_answer().put(5, "internet").cut(120); },
                    kConfigurationCut, "apn"},
        RefusedCase{"LiveDataDamaged",
                    [] { return flipped(Answer(0xA0, 59).put(34, {9}).frame(), 33); },
                    kDamagedUnitAnswer, "sputn"},
        RefusedCase{"ImeiDamaged",
                    [] { return flipped(Answer(0xA7, 39).put(4, "356938035643809").frame(), 5); },
                    kDamagedUnitAnswer, "imei"}),
    [](const auto& info) { return std::string(info.param.name); });

// A read of unit A, then a cut read of unit B: what «Установить» would write is still all A's.
TEST(ReadAfterRead, ACutAnswerOfAnotherUnitMixesNothingIn) {
    FormFixture f;
    f.app.tracker().show_configuration(
        config_answer().put(5, "apn.a").put(80, "10.0.0.1").put(166, {0, 43, 0, 0, 0, 1}).frame());
    const Frame before = encode_config_frame(f.app.tracker().configuration_from_window()).frame;
    f.app.tracker().show_configuration(config_answer().put(5, "apn.b").put(80, "10.0.0.2").cut(60));
    EXPECT_EQ(f.model.text("apn"), "apn.a");
    EXPECT_EQ(encode_config_frame(f.app.tracker().configuration_from_window()).frame, before);
}

}  // namespace
}  // namespace velkon
