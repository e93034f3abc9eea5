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
    ControlName control;
    Shows shows;
    std::string text;  // Text
    bool on = false;   // Checked, Visible
};

Expect text(ControlName control, std::string value) {
    return {control, Shows::Text, value};
}
Expect checked(ControlName control, bool on) {
    return {control, Shows::Checked, "", on};
}
Expect visible(ControlName control, bool on) {
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
        ReadCase{"EmptyApn", 5, kNul30, {text(ctl::apn, "")}},
        ReadCase{
            "ApnUpToTheFirstNul", 5, std::string("internet\0x", 10), {text(ctl::apn, "internet")}},
        ReadCase{"ApnFillingItsWholeField",
                 5,
                 std::string(30, 'a'),
                 {text(ctl::apn, std::string(30, 'a')), text(ctl::gsm_user, "")}},
        ReadCase{"CyrillicUserDecoded",
                 35,
                 bytes({0xC8, 0xE2, 0xE0, 0xED}),
                 {text(ctl::gsm_user, "Иван")}},
        ReadCase{"GsmPasswordAndPin",
                 55,
                 std::string(20, 'p') + "1234",
                 {text(ctl::gdm_pwd, std::string(20, 'p')), text(ctl::pincod, "1234")}},
        ReadCase{"ServerAndItsPort",
                 80,
                 std::string("203.0.113.10") + std::string(13, '\0') + std::string("20332\0", 6),
                 {text(ctl::ip_serv, "203.0.113.10"), text(ctl::port_serv, "20332")}},
        ReadCase{"SixCharPortShowsFive",
                 105,
                 "123456",
                 {text(ctl::port_serv, "12345"), text(ctl::id_dev, "")}},
        ReadCase{"IdentifierAndPassword",
                 111,
                 std::string("0000012345") +
                     bytes({0xED, 0xE5, 0x20, 0xF2, 0xF0, 0xEE, 0xE3, 0xE0, 0xE9}),
                 {text(ctl::id_dev, "0000012345"), text(ctl::pwd_serv, "не трогай")}},
        ReadCase{"PeriodTen", 146, bytes({0x0A, 0x00}), {text(ctl::time_otpr, "10")}},
        ReadCase{"PeriodThousand", 146, bytes({0xE8, 0x03}), {text(ctl::time_otpr, "1000")}},
        ReadCase{"PeriodIsLittleEndian", 146, bytes({0x34, 0x12}), {text(ctl::time_otpr, "4660")}},
        ReadCase{"Byte81ChecksChannelOneAndEgts",
                 150,
                 bytes({0x81}),
                 {checked(ctl::Check1, true), checked(ctl::EGTS_prot, true)}},
        ReadCase{"Byte80ChecksOnlyEgts",
                 150,
                 bytes({0x80}),
                 {checked(ctl::Check1, false), checked(ctl::EGTS_prot, true)}},
        ReadCase{"Byte01ChecksOnlyChannelOne",
                 150,
                 bytes({0x01}),
                 {checked(ctl::Check1, true), checked(ctl::EGTS_prot, false)}},
        ReadCase{
            "ChannelFlagsFollowBitZero",
            151,
            bytes({0x01, 0xFE, 0xFF, 0, 0, 0, 0x01}),
            {checked(ctl::Check2, true), checked(ctl::Check3, false), checked(ctl::Check4, true),
             checked(ctl::Check5, false), checked(ctl::Check8, true)}},
        ReadCase{"Addresses",
                 158,
                 bytes({0, 1, 2, 3, 4, 5, 200, 255}),
                 {text(ctl::ad1, "0"), text(ctl::ad2, "1"), text(ctl::ad7, "200"),
                  text(ctl::ad8, "255")}},
        ReadCase{
            "Version42HidesEgts",
            166,
            bytes({0x00, 0x2A}),
            {text(ctl::vPo, "42"), visible(ctl::EGTS_prot, false), visible(ctl::Label42, false)}},
        ReadCase{
            "Version43ShowsEgts",
            166,
            bytes({0x00, 0x2B}),
            {text(ctl::vPo, "43"), visible(ctl::EGTS_prot, true), visible(ctl::Label42, true)}},
        ReadCase{"VersionIsBigEndian", 166, bytes({0x01, 0x02}), {text(ctl::vPo, "258")}},
        ReadCase{
            "SerialAllOnes", 168, bytes({0xFF, 0xFF, 0xFF, 0xFF}), {text(ctl::sern, "4294967295")}},
        ReadCase{"SerialIsBigEndian",
                 168,
                 bytes({0x00, 0x01, 0x86, 0xA0}),
                 {text(ctl::sern, "100000")}}),
    [](const auto& info) { return std::string(info.param.name); });

struct ModeCase {
    std::uint8_t mode;
    const char* selected;  // the option button checked afterwards
};

class ReadInputMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ReadInputMode, SelectsItsOptionOrLeavesThemForAnUnknownByte) {
    const struct {
        std::size_t position;
        ControlName options[3];
    } inputs[] = {{148, {ctl::r11, ctl::r12, ctl::r13}}, {149, {ctl::r21, ctl::r22, ctl::r23}}};
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.position);
        FormFixture f;
        f.model.set_checked(input.options[2], true);
        f.app.tracker().show_configuration(
            config_answer().put(input.position, {GetParam().mode}).frame());
        for (int k = 0; k < 3; ++k) {
            const bool expected = GetParam().selected == std::to_string(k + 1);
            EXPECT_EQ(f.model.checked(input.options[k]), expected) << input.options[k];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ReadInputMode,
                         ::testing::Values(ModeCase{1, "1"}, ModeCase{2, "2"}, ModeCase{3, "3"},
                                           ModeCase{0, "3"}, ModeCase{4, "3"},
                                           ModeCase{0xFF, "3"}));

// The last position each control needs, written out from the unit's layout.
struct Needs {
    ControlName control;
    std::size_t last;
};
constexpr Needs kNeeds[] = {
    {ctl::apn, 34},        {ctl::gsm_user, 54},   {ctl::gdm_pwd, 74}, {ctl::pincod, 79},
    {ctl::ip_serv, 104},   {ctl::port_serv, 109}, {ctl::id_dev, 120}, {ctl::pwd_serv, 145},
    {ctl::time_otpr, 147}, {ctl::ad1, 158},       {ctl::ad4, 161},    {ctl::ad8, 165},
    {ctl::vPo, 167},       {ctl::sern, 171},
};
constexpr Needs kNeedsChecked[] = {
    {ctl::r12, 148},       {ctl::r22, 149},    {ctl::Check1, 150},
    {ctl::EGTS_prot, 150}, {ctl::Check2, 151}, {ctl::Check8, 157},
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
    const std::map<ControlName, std::string> shown = {{ctl::apn, std::string(30, 'A')},
                                                      {ctl::gsm_user, std::string(20, 'U')},
                                                      {ctl::gdm_pwd, std::string(20, 'P')},
                                                      {ctl::pincod, "12345"},
                                                      {ctl::ip_serv, std::string(25, 'S')},
                                                      {ctl::port_serv, "54321"},
                                                      {ctl::id_dev, std::string(10, 'I')},
                                                      {ctl::pwd_serv, std::string(25, 'W')},
                                                      {ctl::time_otpr, "300"},
                                                      {ctl::ad1, "11"},
                                                      {ctl::ad4, "14"},
                                                      {ctl::ad8, "18"},
                                                      {ctl::vPo, "43"},
                                                      {ctl::sern, "12345"}};

    for (std::size_t length = 0; length <= 172; ++length) {
        SCOPED_TRACE("answer of " + std::to_string(length) + " bytes");
        FormFixture f;
        for (const Needs& n : kNeeds) f.model.set_text(n.control, "before");
        f.model.set_checked(ctl::r11, true);
        f.model.set_checked(ctl::r21, true);
        f.model.set_visible(ctl::EGTS_prot, false);
        f.app.tracker().show_configuration(full.cut(length));
        const bool whole = length >= 171;
        for (const Needs& n : kNeeds) {
            EXPECT_EQ(f.model.text(n.control), whole ? shown.at(n.control) : "before") << n.control;
        }
        for (const Needs& n : kNeedsChecked)
            EXPECT_EQ(f.model.checked(n.control), whole) << n.control;
        EXPECT_EQ(f.model.visible(ctl::EGTS_prot), whole);
        if (!whole) {
            EXPECT_EQ(f.model.text(ctl::MsgCom), kConfigurationCut);
        }
    }
}

// The unit's answers arrive through the exchange and are used only when their check byte
// matches; a refused configuration leaves every field as it was and says why.
struct RefusedCase {
    const char* name;
    std::function<Frame()> answer;
    std::string_view status;
    ControlName control;  // a control the answer would have changed
    Frame request = configuration_read_request();
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
    f.vars().last_tab = 1;
    f.model.set_tab(1);
    f.vars().wrs = GetParam().request;
    f.tick("");  // sends the request
    f.model.set_text(GetParam().control, "before");
    f.tick(GetParam().answer());  // the answer arrives
    EXPECT_EQ(f.model.text(GetParam().control), "before");
    EXPECT_EQ(f.model.text(ctl::MsgCom), GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RefusedAnswer,
    ::testing::Values(
        // "internet" with one bit flipped would show "indernet" and be written back.
        RefusedCase{"ConfigurationBitFlipped",
                    [] { return flipped(config_answer().put(5, "internet").frame(), 6); },
                    kConfigurationDamaged, ctl::apn},
        RefusedCase{"ConfigurationCheckByteWrong",
                    [] { return flipped(config_answer().put(5, "internet").frame(), 171); },
                    kConfigurationDamaged, ctl::apn},
        RefusedCase{"ConfigurationCut", [] { return config_answer().put(5, "internet").cut(120); },
                    kConfigurationCut, ctl::apn},
        RefusedCase{"LiveDataDamaged",
                    [] { return flipped(Answer(0xA0, 59).put(34, {9}).frame(), 33); },
                    kDamagedUnitAnswer, ctl::sputn, live_data_request()},
        RefusedCase{"ImeiDamaged",
                    [] { return flipped(Answer(0xA7, 39).put(4, "356938035643809").frame(), 5); },
                    kDamagedUnitAnswer, ctl::imei, imei_request()}),
    [](const auto& info) { return std::string(info.param.name); });

// A read of unit A, then a cut read of unit B: what «Установить» would write is still all A's.
TEST(ReadAfterRead, ACutAnswerOfAnotherUnitMixesNothingIn) {
    FormFixture f;
    f.app.tracker().show_configuration(
        config_answer().put(5, "apn.a").put(80, "10.0.0.1").put(166, {0, 43, 0, 0, 0, 1}).frame());
    const Frame before = encode_config_frame(f.app.tracker().configuration_from_window()).frame;
    f.app.tracker().show_configuration(config_answer().put(5, "apn.b").put(80, "10.0.0.2").cut(60));
    EXPECT_EQ(f.model.text(ctl::apn), "apn.a");
    EXPECT_EQ(encode_config_frame(f.app.tracker().configuration_from_window()).frame, before);
}

}  // namespace
}  // namespace velkon
