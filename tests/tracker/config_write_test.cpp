// The configuration write (code 0xA3): the frame built from the controls, its refusals, and the
// copy kept in "123.cfg".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "support/form_fixture.h"
#include "tracker/answers.h"
#include "tracker/record.h"

namespace velkon {
namespace {

namespace fs = std::filesystem;
using testing::acknowledge_write;
using testing::FormFixture;
using testing::take_fields_as_read;
using tracker_test::bytes;
using tracker_test::config_answer;
using tracker_test::file_content;

// Sets every field of the record to a distinctive value.
void fill_window(WindowModel& m) {
    m.set_text(ctl::apn, "internet");
    m.set_text(ctl::gsm_user, "Иван");
    m.set_text(ctl::gdm_pwd, "");
    m.set_text(ctl::pincod, "12345");
    m.set_text(ctl::ip_serv, "203.0.113.10");
    m.set_text(ctl::port_serv, "20332");
    m.set_text(ctl::id_dev, "0000012345");
    m.set_text(ctl::pwd_serv, std::string(25, 'w'));
    m.set_text(ctl::time_otpr, "1000");
    m.set_checked(ctl::r12, true);
    m.set_checked(ctl::r23, true);
    for (int n = 1; n <= 8; ++n) m.set_checked(ctl::channel_check[n - 1], n % 3 == 1);
    m.set_checked(ctl::EGTS_prot, true);
    m.set_visible(ctl::EGTS_prot, false);  // hidden for old firmware, still written
    for (int n = 1; n <= 8; ++n) m.set_text(ctl::channel_address[n - 1], std::to_string(n * 25));
    m.set_text(ctl::ad1, "0");
}

// The frame for fill_window, byte by byte.
Frame expected_frame() {
    std::string f(168, '\0');
    auto put = [&f](std::size_t position, std::string_view data) {
        f.replace(position - 1, data.size(), data);
    };
    put(1, bytes({0x3E, 0xCA, 0xA3, 0x16}));
    put(5, "internet");
    put(35, bytes({0xC8, 0xE2, 0xE0, 0xED}));
    put(75, "12345");
    put(80, "203.0.113.10");
    put(105, "20332");
    put(111, "0000012345");
    put(121, std::string(25, 'w'));
    put(146, bytes({0xE8, 0x03}));
    put(148, bytes({2, 3}));
    put(150, bytes({0x81, 0, 0, 1, 0, 0, 1, 0}));
    put(158, bytes({0, 50, 75, 100, 125, 150, 175, 200}));
    put(166, bytes({0xA5, 0x36, 0x5B}));
    return Control_summ(f);
}

// The copy is the unit's configuration: it is kept only once the unit has acknowledged the write.
TEST(ConfigWrite, BuildsTheFrameFromTheControlsQueuesItAndKeepsACopyOnceAcknowledged) {
    FormFixture f;
    take_fields_as_read(f.app);
    fill_window(f.model);
    f.app.fire(ctl::setdata);
    const Frame expected = expected_frame();
    ASSERT_EQ(expected.size(), 169u);
    EXPECT_EQ(f.vars().wrs, expected);
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_FALSE(fs::exists(f.folder.path() / "123.cfg"));

    acknowledge_write(f.app);
    const auto copy = file_content(f.folder.path() / "123.cfg");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, expected);
    EXPECT_EQ(check_byte(copy->substr(0, 168)), byte_at(*copy, 168));
    EXPECT_EQ(check_byte(*copy), 0);
}

TEST(ConfigWrite, TheTrackerPageButtonWritesTheSameFrame) {
    FormFixture f;
    take_fields_as_read(f.app);
    fill_window(f.model);
    f.app.fire(ctl::Command3);
    EXPECT_EQ(f.vars().wrs, expected_frame());
}

TEST(ConfigWrite, WhatWasReadIsWrittenBackByteForByte) {
    FormFixture f;
    const Frame answer = config_answer()
                             .put(5, "m2m")
                             .put(35, bytes({0xCF, 0xE5, 0xF2, 0xF0}))
                             .put(75, "0000")
                             .put(80, "example.org")
                             .put(105, "9999")
                             .put(111, "ID")
                             .put(121, std::string(25, 'x'))
                             .put(146, {0x3C, 0x00, 3, 1, 0x80, 1, 0, 1, 0, 1, 0, 1})
                             .put(158, {1, 2, 3, 4, 5, 6, 7, 200})
                             .frame();
    f.app.tracker().show_configuration(answer);
    f.app.fire(ctl::setdata);
    ASSERT_EQ(f.vars().wrs.size(), 169u);
    EXPECT_EQ(f.vars().wrs.substr(4, 161), answer.substr(4, 161));
}

struct PeriodCase {
    const char* typed;
    int low, high;
};

class WritePeriod : public ::testing::TestWithParam<PeriodCase> {};

TEST_P(WritePeriod, GoesLowByteFirstRoundedHalfToEven) {
    FormFixture f;
    take_fields_as_read(f.app);
    f.model.set_text(ctl::time_otpr, GetParam().typed);
    f.app.fire(ctl::setdata);
    ASSERT_EQ(f.vars().wrs.size(), 169u) << f.dialogs.texts().size();
    EXPECT_EQ(byte_at(f.vars().wrs, 145), GetParam().low);
    EXPECT_EQ(byte_at(f.vars().wrs, 146), GetParam().high);
}

INSTANTIATE_TEST_SUITE_P(
    Periods, WritePeriod,
    ::testing::Values(PeriodCase{"10", 0x0A, 0x00}, PeriodCase{"1000", 0xE8, 0x03},
                      PeriodCase{" 300 ", 0x2C, 0x01}, PeriodCase{"9.5", 0x0A, 0x00},
                      PeriodCase{"10,5", 0x0A, 0x00}, PeriodCase{"1000.5", 0xE8, 0x03}));

struct RefusalCase {
    const char* name;
    std::vector<std::pair<ControlName, std::string>> typed;  // control, text
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class WriteRefusal : public ::testing::TestWithParam<RefusalCase> {};

// One message, nothing queued, and the copy of the previous write left as it was.
TEST_P(WriteRefusal, ShowsOneMessageAndQueuesAndSavesNothing) {
    FormFixture f;
    take_fields_as_read(f.app);
    f.app.fire(ctl::setdata);
    acknowledge_write(f.app);
    const auto earlier = file_content(f.folder.path() / "123.cfg");
    ASSERT_TRUE(earlier);
    f.vars().wrs = "pending";

    for (const auto& [control, text] : GetParam().typed) f.model.set_text(control, text);
    f.app.fire(ctl::setdata);
    EXPECT_EQ(f.dialogs.texts(), std::vector<std::string>{GetParam().message});
    EXPECT_EQ(f.vars().wrs, "pending");
    EXPECT_EQ(file_content(f.folder.path() / "123.cfg"), earlier);
    for (const auto& [control, text] : GetParam().typed) EXPECT_EQ(f.model.text(control), text);
}

const std::string kPeriod = "Значения периода отправки могут быть от 10 до 1000";
const std::string kAddress = "Значения адресов могут быть от 0 до 200";
const std::string kPort = "Значения порта сервера могут быть от 1 до 65535 (не больше 5 цифр)";
const std::string kHost =
    "Текст поля «Адрес сервера» должен быть именем сервера (буквы, цифры, «-» и «.») или "
    "IPv4-адресом вида 203.0.113.10.";

INSTANTIATE_TEST_SUITE_P(
    Refusals, WriteRefusal,
    ::testing::Values(
        RefusalCase{"Period9", {{ctl::time_otpr, "9"}}, kPeriod},
        RefusalCase{"Period1001", {{ctl::time_otpr, "1001"}}, kPeriod},
        RefusalCase{"PeriodRoundedTo1001", {{ctl::time_otpr, "1000.6"}}, kPeriod},
        RefusalCase{"PeriodNotANumber", {{ctl::time_otpr, "abc"}}, kPeriod},
        RefusalCase{"PeriodEmpty", {{ctl::time_otpr, ""}}, kPeriod},
        RefusalCase{"PeriodBeyond16Bits", {{ctl::time_otpr, "70000"}}, kPeriod},
        RefusalCase{"Address201", {{ctl::ad3, "201"}}, kAddress},
        RefusalCase{"AddressMinusOne", {{ctl::ad8, "-1"}}, kAddress},
        RefusalCase{"AddressNotANumber", {{ctl::ad1, "x1"}}, kAddress},
        RefusalCase{"PeriodBeforeAddresses", {{ctl::ad1, "201"}, {ctl::time_otpr, "9"}}, kPeriod},
        RefusalCase{"OneMessageForTwoAddresses", {{ctl::ad2, "300"}, {ctl::ad5, "-4"}}, kAddress},
        RefusalCase{"OverlongApn",
                    {{ctl::apn, std::string(31, 'a')}},
                    "Текст поля «Точка доступа» длиннее 30 символов. Сократите его."},
        RefusalCase{"OverlongCyrillicPin",
                    {{ctl::pincod, "пинкод"}},
                    "Текст поля «Пин код SIM» длиннее 5 символов. Сократите его."},
        RefusalCase{"SevenCharPort",
                    {{ctl::port_serv, "2033200"}},
                    "Текст поля «Порт» длиннее 6 символов. Сократите его."},
        RefusalCase{"CharacterOutsideTheCodePage",
                    {{ctl::ip_serv, "host✓"}},
                    "В тексте поля «Адрес сервера» есть символ «✓», который нельзя передать в "
                    "трекер. Замените его."},
        // An overlong form of "€" is malformed, not a character to quote.
        RefusalCase{"OverlongFormIsUnreadable",
                    {{ctl::apn, "int\xE0\x82\xAC"}},
                    "Текст поля «Точка доступа» не читается. Введите его заново."},
        // Values of the wrong kind for their field.
        RefusalCase{"PortNotANumber", {{ctl::port_serv, "abc"}}, kPort},
        RefusalCase{"PortBeyond16Bits", {{ctl::port_serv, "99999"}}, kPort},
        RefusalCase{"PortZero", {{ctl::port_serv, "0"}}, kPort},
        RefusalCase{"PortInSixDigitsTheUnitCutsToFive", {{ctl::port_serv, "020332"}}, kPort},
        RefusalCase{"PortEmptyWithAServer", {{ctl::port_serv, ""}}, kPort},
        RefusalCase{"PortWithBlanks", {{ctl::port_serv, " 8080"}}, kPort},
        RefusalCase{"ServerNotAHost", {{ctl::ip_serv, "not a host!"}}, kHost},
        RefusalCase{"ServerLabelStartsWithHyphen", {{ctl::ip_serv, "-gw.example"}}, kHost},
        RefusalCase{"ServerEmptyLabel", {{ctl::ip_serv, "gw..example"}}, kHost},
        RefusalCase{"ServerAddressBeyond255", {{ctl::ip_serv, "203.0.113.256"}}, kHost},
        RefusalCase{"ServerAddressOfThreeNumbers", {{ctl::ip_serv, "203.0.113"}}, kHost},
        RefusalCase{"PinWithLetters",
                    {{ctl::pincod, "12ab"}},
                    "Текст поля «Пин код SIM» может содержать только цифры."},
        RefusalCase{"TabInApn",
                    {{ctl::apn, "inter\tnet"}},
                    "В тексте поля «Точка доступа» есть управляющий символ (код 9), который "
                    "нельзя передать в трекер. Уберите его."},
        RefusalCase{"DeleteInPassword",
                    {{ctl::pwd_serv, "pw\x7F"}},
                    "В тексте поля «Пароль доступа к устройству» есть управляющий символ (код "
                    "127), который нельзя передать в трекер. Уберите его."},
        RefusalCase{
            "TextsInFrameOrderBeforeThePeriod",
            {{ctl::pwd_serv, std::string(26, 'p')}, {ctl::time_otpr, "9"}},
            "Текст поля «Пароль доступа к устройству» длиннее 25 символов. Сократите его."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigWrite, TextsFillingTheirFieldsExactlyAreAccepted) {
    FormFixture f;
    take_fields_as_read(f.app);
    f.model.set_text(ctl::apn, std::string(30, 'a'));
    f.model.set_text(ctl::gsm_user, "жжжжжжжжжжжжжжжжжжжж");  // 20 letters, 40 bytes of UTF-8
    f.model.set_text(ctl::id_dev, "0123456789");
    f.app.fire(ctl::setdata);
    ASSERT_EQ(f.vars().wrs.size(), 169u);
    EXPECT_EQ(f.vars().wrs.substr(4, 30), std::string(30, 'a'));
    EXPECT_EQ(f.vars().wrs.substr(34, 20), std::string(20, '\xE6'));
    EXPECT_EQ(f.vars().wrs.substr(110, 10), "0123456789");
    EXPECT_TRUE(f.dialogs.messages.empty());
}

// The edges of each kind, and what a unit not set up holds: no server, no port, no PIN.
TEST(ConfigWrite, ValuesOfTheirFieldsKindAreAccepted) {
    const struct {
        const char* server;
        const char* port;
        const char* pin;
    } cases[] = {
        {"203.0.113.10", "1", "1234"},
        {"gw-1.example.ru", "65535", ""},
        {"сервер.рф", "00080", "12345"},
        {"localhost", "20332", "0"},
        {"", "", ""},
        {"0.0.0.0", "8080", ""},
        {"a.b.c.d.e", "20332", "00000"},
        {"255.255.255.255", "99", "1"},
    };
    for (const auto& c : cases) {
        FormFixture f;
        take_fields_as_read(f.app);
        f.model.set_text(ctl::ip_serv, c.server);
        f.model.set_text(ctl::port_serv, c.port);
        f.model.set_text(ctl::pincod, c.pin);
        f.app.fire(ctl::setdata);
        EXPECT_EQ(f.vars().wrs.size(), 169u) << c.server << " " << c.port << " " << c.pin;
        EXPECT_EQ(f.dialogs.texts(), std::vector<std::string>{}) << c.server;
    }
}

struct PlaceholderCase {
    const char* name;
    std::string typed;   // into «Идентификатор устройства»
    std::string filled;  // what the unit gets; "" when refused
    std::string said;    // part of the refusal
};

void PrintTo(const PlaceholderCase& c, std::ostream* os) {
    *os << c.name;
}

class WindowPlaceholders : public ::testing::TestWithParam<PlaceholderCase> {};

// The unit on ttyUSB0 with its IMEI and SIM read and its configuration read (serial 100500).
TEST_P(WindowPlaceholders, AreFilledFromTheOpenUnitOrRefused) {
    const PlaceholderCase& c = GetParam();
    FormFixture f;
    f.open_link();
    take_fields_as_read(f.app);
    f.model.set_text(ctl::imei, "356938035643809");
    f.model.set_text(ctl::nsim, "89701010012345678901");
    f.model.set_text(ctl::id_dev, c.typed);
    f.app.fire(ctl::setdata);
    if (c.filled.empty()) {
        ASSERT_EQ(f.dialogs.texts().size(), 1u);
        const std::string text = f.dialogs.texts()[0];
        EXPECT_NE(text.find("«Идентификатор устройства»"), std::string::npos) << text;
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
        EXPECT_TRUE(f.vars().wrs.empty());
        return;
    }
    EXPECT_TRUE(f.dialogs.texts().empty());
    ASSERT_EQ(f.vars().wrs.size(), 169u);
    EXPECT_EQ(f.vars().wrs.substr(110, 10), c.filled + std::string(10 - c.filled.size(), '\0'));
    // Once the unit has it, the field shows what the unit holds.
    acknowledge_write(f.app);
    EXPECT_EQ(f.model.text(ctl::id_dev), c.filled);
    EXPECT_FALSE(f.app.tracker().fields_changed());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, WindowPlaceholders,
    ::testing::Values(PlaceholderCase{"ImeiTail", "{imei:10}", "8035643809", ""},
                      PlaceholderCase{"SimTailAndText", "S-{sim:4}", "S-8901", ""},
                      PlaceholderCase{"Serial", "N{serial}", "N100500", ""},
                      PlaceholderCase{"Port", "{port}", "ttyUSB0", ""},
                      PlaceholderCase{"TwoInOne", "{imei:3}{sim:3}", "809901", ""},
                      PlaceholderCase{"UpperCase", "{IMEI:10}", "", "«{IMEI:10}»"},
                      PlaceholderCase{"MixedCase", "{Imei}", "", "«{Imei}»"},
                      PlaceholderCase{"Unclosed", "{imei:10", "", "«{imei:10»"},
                      PlaceholderCase{"BlankInside", "{sim:8 }", "", "«{sim:8 }»"},
                      PlaceholderCase{"CyrillicName", "{имя:10}", "", "«{имя:10}»"},
                      PlaceholderCase{"UnknownName", "{foo}", "", "«{foo}»"},
                      PlaceholderCase{"LoneClosingBrace", "id}", "", "«}»"},
                      PlaceholderCase{"NoCount", "{imei:}", "", "«{imei:}»"},
                      PlaceholderCase{"ZeroCount", "{imei:0}", "", "от 1"},
                      PlaceholderCase{"LongerThanTheValue", "{imei:16}", "", "нужно 16 знаков"}),
    [](const auto& info) { return std::string(info.param.name); });

// A value the window does not know for this unit is never guessed.
TEST(WindowPlaceholders, AValueNotKnownForTheOpenUnitRefusesTheWrite) {
    const struct {
        const char* typed;
        const char* said;
    } cases[] = {
        {"{imei:10}", "IMEI трекера не прочитан"},
        {"{sim}", "номер SIM трекера не прочитан"},
    };
    for (const auto& c : cases) {
        FormFixture f;
        f.open_link();
        take_fields_as_read(f.app);
        f.model.set_text(ctl::imei, "NOT READ");
        f.model.set_text(ctl::nsim, "NOT READ");
        f.model.set_text(ctl::id_dev, c.typed);
        f.app.fire(ctl::setdata);
        ASSERT_EQ(f.dialogs.texts().size(), 1u) << c.typed;
        EXPECT_NE(f.dialogs.texts()[0].find(c.said), std::string::npos) << f.dialogs.texts()[0];
        EXPECT_TRUE(f.vars().wrs.empty());
    }
}

TEST(ConfigWrite, ASecondWriteReplacesTheCopyInFull) {
    FormFixture f;
    take_fields_as_read(f.app);
    f.model.set_text(ctl::apn, std::string(30, 'a'));
    f.app.fire(ctl::setdata);
    acknowledge_write(f.app);
    f.model.set_text(ctl::apn, "b");
    f.model.set_text(ctl::time_otpr, "15");
    f.app.fire(ctl::setdata);
    acknowledge_write(f.app);
    const auto copy = file_content(f.folder.path() / "123.cfg");
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, f.vars().wrs);
    EXPECT_EQ(copy->substr(4, 30), "b" + std::string(29, '\0'));
    EXPECT_EQ(byte_at(*copy, 145), 15);
}

TEST(ConfigWrite, ACopyThatCannotBeWrittenIsReportedAfterTheAcknowledgement) {
    FormFixture f;
    take_fields_as_read(f.app);
    // A folder in the file's place: nothing can replace it, whoever runs the test.
    fs::create_directories(f.folder.path() / "123.cfg" / "inside");
    f.app.fire(ctl::setdata);
    EXPECT_EQ(f.vars().wrs.size(), 169u);
    EXPECT_TRUE(f.dialogs.messages.empty());
    acknowledge_write(f.app);
    ASSERT_EQ(f.dialogs.messages.size(), 1u);
    EXPECT_NE(f.dialogs.messages[0].text.find("123.cfg"), std::string::npos);
    EXPECT_NE(f.dialogs.messages[0].text.find("записана в трекер"), std::string::npos);
    EXPECT_EQ(f.dialogs.messages[0].icon, Dialogs::Icon::Exclamation);
    EXPECT_TRUE(fs::is_directory(f.folder.path() / "123.cfg" / "inside"));
    EXPECT_FALSE(fs::exists(f.folder.path() / "123.cfg.tmp"));
}

// Links planted beside the copy or in its place do not carry the write out of the program
// folder: the copy is made under a fresh name and renamed over whatever stood there.
TEST(ConfigWrite, PlantedLinksAreNotFollowed) {
    for (const char* planted : {"123.cfg.tmp", "123.cfg"}) {
        FormFixture f;
        const fs::path victim = f.folder.path() / "victim.txt";
        std::ofstream(victim) << "mine";
        // Windows lets only administrators make symbolic links: nothing can be planted there.
        std::error_code no_link;
        fs::create_symlink(victim, f.folder.path() / planted, no_link);
        if (no_link) continue;
        take_fields_as_read(f.app);
        f.app.fire(ctl::setdata);
        acknowledge_write(f.app);
        EXPECT_EQ(file_content(victim), "mine") << planted;
        EXPECT_FALSE(fs::is_symlink(f.folder.path() / "123.cfg")) << planted;
        EXPECT_EQ(file_content(f.folder.path() / "123.cfg"), f.vars().wrs) << planted;
    }
}

TEST(ConfigWrite, AMissingProgramFolderIsCreated) {
    FormFixture f;
    const fs::path folder = f.folder.path() / "new" / "folder";
    Configurator app{f.model,
                     ConfiguratorSeams{f.port, f.lister, f.dialogs, f.clock, f.reader, folder}};
    take_fields_as_read(app);
    app.fire(ctl::setdata);
    acknowledge_write(app);
    EXPECT_EQ(file_content(folder / "123.cfg"), f.vars().wrs);
    EXPECT_TRUE(f.dialogs.messages.empty());
}

TEST(ConfigRequests, ReadAndImeiRequestsReplaceWhatWasPending) {
    FormFixture f;
    f.vars().wrs = "pending";
    f.app.fire(ctl::readdata);
    EXPECT_EQ(f.vars().wrs, bytes({0x3E, 0xCA, 0xA2, 0, 0, 0, 0, 0, 0xAC}));
    f.app.fire(ctl::rd_imei);
    EXPECT_EQ(f.vars().wrs, bytes({0x3E, 0xCA, 0xA7, 0x55}));
}

// The window limits typing to the widths of the record's text fields.
TEST(ConfigLayout, TextBoxesAreLimitedToTheirFieldWidths) {
    WindowModel model;
    for (const ConfigField& field : tracker_config_layout()) {
        if (field.kind == FieldKind::Text) {
            EXPECT_EQ(model[field.control].max_bytes, static_cast<int>(field.width))
                << field.control;
        }
    }
}

namespace unread {

const Frame kReadRequest = testing::framed({0x3E, 0xCA, 0xA2, 0, 0, 0, 0, 0});

// The window on page «Сервер» of a freshly opened link, its configuration read in flight.
struct ServerPage : FormFixture {
    ServerPage() {
        open_link();
        vars().last_tab = 2;
        model.set_tab(2);
        app.fire(ctl::readdata);
        tick("");  // the read request goes out
    }
    void live_tick() { tick(tracker_test::Answer(0xA0, 59).put(34, {9}).frame()); }
};

struct UnreadCase {
    const char* name;
    std::function<std::string(const Frame& answer)> received;
};

void PrintTo(const UnreadCase& c, std::ostream* os) {
    *os << c.name;
}

class UnreadConfiguration : public ::testing::TestWithParam<UnreadCase> {};

// Whatever kept the configuration from arriving whole, the pages keep the window's own values,
// say so, and «Установить» refuses to write them over the unit's.
TEST_P(UnreadConfiguration, IsSaidAndNeverWrittenOver) {
    ServerPage f;
    const Frame answer = config_answer().put(5, "m2m").put(146, {60, 0}).frame();
    f.tick(GetParam().received(answer));
    EXPECT_NE(f.model.text(ctl::apn), "m2m");
    f.live_tick();
    EXPECT_EQ(f.model.text(ctl::MsgCom), kLiveDataConfigurationNotRead);
    EXPECT_EQ(f.model.text(ctl::sputn), "9");
    EXPECT_TRUE(f.model.visible(ctl::changed_mark));
    EXPECT_EQ(f.model.text(ctl::changed_mark), kNotReadMark);

    f.model.set_text(ctl::apn, "edited");
    f.app.fire(ctl::setdata);
    EXPECT_EQ(f.dialogs.texts(), std::vector<std::string>{std::string(kReadConfigurationFirst)});
    EXPECT_EQ(f.vars().wrs, "");
    EXPECT_FALSE(fs::exists(f.folder.path() / "123.cfg"));

    // «Читать» again, answered whole: the fields are the unit's and may be written.
    f.dialogs.answers = {true};  // the edit is dropped
    f.app.fire(ctl::readdata);
    f.tick("");
    f.tick(answer);
    EXPECT_EQ(f.model.text(ctl::apn), "m2m");
    EXPECT_FALSE(f.model.visible(ctl::changed_mark));
    f.app.fire(ctl::setdata);
    EXPECT_EQ(f.vars().wrs.size(), 169u);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, UnreadConfiguration,
    ::testing::Values(UnreadCase{"Silence", [](const Frame&) { return std::string(); }},
                      UnreadCase{"BadCheckByte",
                                 [](const Frame& a) {
                                     Frame bad = a;
                                     bad.back() ^= 1;
                                     return bad;
                                 }},
                      UnreadCase{"Cut", [](const Frame& a) { return a.substr(0, 120); }},
                      UnreadCase{"AnsweredTwice", [](const Frame& a) { return a + a; }},
                      UnreadCase{"PartialEchoOfAnEchoedCut",
                                 [](const Frame& a) {
                                     return kReadRequest.substr(0, 3) + a.substr(0, 170);
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

// Fields loaded from a profile may go to a unit not read, after a question.
TEST(UnreadConfiguration, AProfileIsWrittenOnlyWhenTheEngineerAgrees) {
    ServerPage f;
    f.tick("");
    TrackerConfig profile = f.app.tracker().configuration_from_window();
    f.app.tracker().fill_from_profile(profile);
    f.dialogs.answers = {false};
    f.app.fire(ctl::setdata);
    EXPECT_EQ(f.dialogs.questions,
              std::vector<std::string>{std::string(kWriteProfileUnreadQuestion)});
    EXPECT_EQ(f.vars().wrs, "");
    f.dialogs.answers = {true};
    f.app.fire(ctl::setdata);
    EXPECT_EQ(f.vars().wrs.size(), 169u);
}

// The copy follows the unit's acknowledgement through the exchange: one with a bad check byte
// or a write that never reached the unit leaves the earlier copy as it was.
TEST(UnreadConfiguration, TheCopyIsTheLastWriteTheUnitAcknowledged) {
    ServerPage f;
    f.tick(config_answer().put(5, "m2m").put(146, {60, 0}).frame());
    const fs::path copy = f.folder.path() / "123.cfg";

    f.app.fire(ctl::setdata);
    const Frame first = f.vars().wrs;
    f.tick("");  // the write goes out
    Frame bad_ack = testing::framed({0x3E, 0xCA, 0xA3});
    bad_ack.back() ^= 0x40;
    f.tick(bad_ack);
    EXPECT_EQ(f.model.text(ctl::MsgCom), kDamagedUnitAnswer);
    EXPECT_FALSE(fs::exists(copy));

    f.app.fire(ctl::setdata);
    f.tick("");
    f.tick(testing::framed({0x3E, 0xCA, 0xA3}));
    EXPECT_EQ(f.model.text(ctl::MsgCom), "Конфига вроде записана");
    EXPECT_EQ(file_content(copy), first);

    // A second write queued while the first one's acknowledgement is still to come: that
    // acknowledgement keeps the first as the copy and confirms nothing of the second.
    f.model.set_text(ctl::apn, "second");
    f.app.fire(ctl::setdata);
    const Frame second = f.vars().wrs;
    f.tick("");  // the second write goes out
    f.model.set_text(ctl::apn, "third");
    f.app.fire(ctl::setdata);
    const Frame third = f.vars().wrs;
    f.tick(testing::framed({0x3E, 0xCA, 0xA3}));  // answers the second; the third goes out
    EXPECT_EQ(file_content(copy), second);
    EXPECT_TRUE(f.model.visible(ctl::changed_mark));
    f.tick(testing::framed({0x3E, 0xCA, 0xA3}));
    EXPECT_EQ(file_content(copy), third);
    EXPECT_FALSE(f.model.visible(ctl::changed_mark));

    // Queued, then the link closes before the tick: the unit never had it.
    f.model.set_text(ctl::time_otpr, "15");
    f.app.fire(ctl::setdata);
    f.app.connection().close_link();
    EXPECT_EQ(file_content(copy), third);
}

// A page change while the write is on its way asks nothing about the values being written; an
// edit made after it does.
TEST(UnreadConfiguration, ValuesBeingWrittenAreNotUnwritten) {
    ServerPage f;
    f.tick(config_answer().put(5, "m2m").put(146, {60, 0}).frame());
    f.model.set_text(ctl::apn, "new.apn");
    f.app.fire(ctl::setdata);
    f.tick("");  // the write goes out
    f.model.set_tab(1);
    f.tick("");
    EXPECT_TRUE(f.dialogs.questions.empty());

    f.app.fire(ctl::setdata);
    f.model.set_text(ctl::apn, "edited.after");
    f.dialogs.answers = {false};
    f.model.set_tab(2);
    f.tick("");
    EXPECT_EQ(f.dialogs.questions,
              std::vector<std::string>{std::string(kUnwrittenChangesQuestion)});
}

}  // namespace unread

}  // namespace
}  // namespace velkon
