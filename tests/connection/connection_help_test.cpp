// Help for the first connection: the status line while scanning, the notice at start and the
// question before the console is opened.
#include "connection_help/connection_help.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/configurator.h"
#include "support/stand_ins.h"
#include "support/test_support.h"

namespace velkon {
namespace {

using testing::FakePort;
using testing::FixedClock;
using ::testing::HasSubstr;
using testing::HoldingRunner;
using ::testing::Not;
using testing::ScriptedDialogs;

const PortAccess kNoDialout{PortAccess::Verdict::NoRights, "dialout", false};
const PortAccess kDialoutNextLogin{PortAccess::Verdict::NoRights, "dialout", true};
const PortAccess kRootOnly{PortAccess::Verdict::NoRights, "", false};

class AccessLister : public PortLister {
  public:
    std::vector<PortEntry> entries;
    std::map<std::string, PortAccess> refused;  // by entry name; the rest are allowed
    std::vector<PortEntry> list() override { return entries; }
    PortAccess access(const PortEntry& entry) override {
        const auto it = refused.find(entry.name);
        return it == refused.end() ? PortAccess{} : it->second;
    }
};

PortEntry usb(const std::string& name) {
    return {name, "/dev/" + name, false};
}
PortEntry console(const std::string& name) {
    return {name, "/dev/" + name, true};
}

struct HelpRig {
    test::TempDir folder;
    WindowModel model;
    FakePort port;
    AccessLister lister;
    ScriptedDialogs dialogs;
    FixedClock clock;
    HoldingRunner reader;
    Configurator app{model, ConfiguratorSeams{port, lister, dialogs, clock, reader, folder.path()}};

    void scan() { app.connection().scan_ports(); }
    void open() { app.connection().open_link(); }
};

struct HintCase {
    const char* name;
    std::vector<PortEntry> found;
    std::map<std::string, PortAccess> refused;
    int selected;
    std::string status;
    std::string detail_part;  // "" = the detail is empty too
};

class ScanHint : public ::testing::TestWithParam<HintCase> {};

TEST_P(ScanHint, SaysWhatTheUserMeetsNext) {
    const HintCase& c = GetParam();
    AccessLister lister;
    lister.refused = c.refused;
    const StatusHint hint = ConnectionHelp(lister).scan_hint(c.found, c.selected);
    EXPECT_EQ(hint.status, c.status);
    if (c.detail_part.empty()) {
        EXPECT_EQ(hint.detail, "");
    } else {
        EXPECT_THAT(hint.detail, HasSubstr(c.detail_part));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scans, ScanHint,
    ::testing::Values(
        HintCase{"NoPort", {}, {}, 0, "Порт не найден: подключите устройство", "USB-адаптер"},
        HintCase{"OnlyTheConsole",
                 {console("ttyS0")},
                 {},
                 0,
                 "Порт не найден: подключите устройство",
                 "USB-адаптер"},
        HintCase{"ConsolePicked",
                 {usb("ttyUSB0"), console("ttyS0")},
                 {},
                 1,
                 "ttyS0 — консоль компьютера",
                 "Выберите другой порт"},
        HintCase{"NotInDialout",
                 {usb("ttyUSB0")},
                 {{"ttyUSB0", kNoDialout}},
                 0,
                 "Нет прав на порт ttyUSB0: нужна группа dialout",
                 "sudo usermod -aG dialout $USER\nи войдите в систему заново"},
        HintCase{"AddedButNotLoggedInAgain",
                 {usb("ttyUSB0")},
                 {{"ttyUSB0", kDialoutNextLogin}},
                 0,
                 "Нет прав на порт ttyUSB0: войдите в систему заново",
                 "нового входа"},
        HintCase{"NoGroupHelps",
                 {usb("ttyUSB0")},
                 {{"ttyUSB0", kRootOnly}},
                 0,
                 "Нет прав на порт ttyUSB0",
                 "администратору"},
        HintCase{"OtherPortRefused",
                 {usb("ttyUSB0"), usb("ttyUSB1")},
                 {{"ttyUSB1", kNoDialout}},
                 0,
                 "",
                 ""},
        HintCase{"NothingSelected", {usb("ttyUSB0")}, {{"ttyUSB0", kNoDialout}}, -1, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionHelpInScan, FillsTheStatusLineUntilAPortThatOpensIsListed) {
    HelpRig r;
    r.scan();
    EXPECT_EQ(r.model.text(ctl::MsgCom), "Порт не найден: подключите устройство");
    EXPECT_THAT(r.model[ctl::MsgCom].tooltip, HasSubstr("перезапускать программу не нужно"));
    EXPECT_EQ(r.model.items(ctl::CmbPort), std::vector<std::string>{"----"});

    r.lister.entries = {usb("ttyUSB0")};
    r.lister.refused = {{"ttyUSB0", kNoDialout}};
    r.scan();
    EXPECT_EQ(r.model.text(ctl::MsgCom), "Нет прав на порт ttyUSB0: нужна группа dialout");

    r.lister.refused.clear();
    r.scan();
    EXPECT_EQ(r.model.text(ctl::MsgCom), "");
    EXPECT_EQ(r.model[ctl::MsgCom].tooltip, "");
}

TEST(ConnectionHelpInScan, AnOpenedPortClearsTheHint) {
    HelpRig r;
    r.lister.entries = {console("ttyS0")};
    r.scan();
    ASSERT_NE(r.model.text(ctl::MsgCom), "");
    r.lister.entries = {usb("ttyUSB0")};
    r.model.set_items(ctl::CmbPort, {"ttyUSB0"});
    r.model.set_selected(ctl::CmbPort, 0);
    r.open();
    ASSERT_TRUE(r.port.is_open());
    EXPECT_EQ(r.model.text(ctl::MsgCom), "");
    EXPECT_EQ(r.model[ctl::MsgCom].tooltip, "");
}

TEST(ConnectionHelpInScan, AnAdapterPluggedAfterAFailedOpenShowsWithoutARestart) {
    HelpRig r;
    r.model.set_timer_enabled(ctl::Timer1, true);
    r.scan();
    r.port.open_succeeds = false;
    r.open();  // on "----"
    ASSERT_EQ(r.dialogs.messages.size(), 1u);
    EXPECT_TRUE(r.model.timer_enabled(ctl::Timer1));

    r.lister.entries = {usb("ttyUSB0")};
    r.scan();
    EXPECT_EQ(r.model.items(ctl::CmbPort), std::vector<std::string>{"ttyUSB0"});
    EXPECT_EQ(r.model.text(ctl::MsgCom), "");
}

TEST(StartNotice, NamesTheRefusedDevicePortsAndTheCommand) {
    HelpRig r;
    r.lister.entries = {
        usb("ttyUSB0"), usb("ttyACM0"), {"/dev/pts/3", "/dev/pts/3", false}, console("ttyS0")};
    r.lister.refused = {{"ttyUSB0", kNoDialout}, {"ttyACM0", kNoDialout}, {"ttyS0", kRootOnly}};
    r.app.start();
    ASSERT_EQ(r.dialogs.messages.size(), 1u);
    const auto& shown = r.dialogs.messages[0];
    EXPECT_EQ(shown.icon, Dialogs::Icon::Exclamation);
    EXPECT_THAT(shown.text, HasSubstr("Порты ttyUSB0, ttyACM0 открывают только члены группы "
                                      "dialout"));
    EXPECT_THAT(shown.text, HasSubstr("    sudo usermod -aG dialout $USER\n"));
    EXPECT_THAT(shown.text, Not(HasSubstr("ttyS0")));
}

TEST(StartNotice, AfterUsermodAsksOnlyForANewLogin) {
    HelpRig r;
    r.lister.entries = {usb("ttyUSB0")};
    r.lister.refused = {{"ttyUSB0", kDialoutNextLogin}};
    const auto notice = ConnectionHelp(r.lister).start_notice();
    ASSERT_TRUE(notice);
    EXPECT_THAT(*notice, HasSubstr("Вы уже добавлены в группу"));
    EXPECT_THAT(*notice, Not(HasSubstr("usermod")));
}

TEST(StartNotice, SilentWhenEveryDevicePortOpens) {
    HelpRig r;
    r.lister.entries = {usb("ttyUSB0"), console("ttyS0")};
    r.lister.refused = {{"ttyS0", kRootOnly}};
    r.app.start();
    EXPECT_TRUE(r.dialogs.messages.empty());
}

struct ConsoleOpenCase {
    const char* name;
    bool answer;
    bool opened;
};

class OpenConsole : public ::testing::TestWithParam<ConsoleOpenCase> {};

TEST_P(OpenConsole, AsksFirstAndKeepsScanningOnNo) {
    HelpRig r;
    r.lister.entries = {console("ttyS0")};
    r.model.set_timer_enabled(ctl::Timer1, true);
    r.model.set_items(ctl::CmbPort, {"ttyS0"});
    r.model.set_selected(ctl::CmbPort, 0);
    r.dialogs.answers = {GetParam().answer};
    r.open();

    ASSERT_EQ(r.dialogs.questions.size(), 1u);
    EXPECT_THAT(r.dialogs.questions[0], HasSubstr("консоль"));
    EXPECT_THAT(r.dialogs.questions[0], HasSubstr("Открыть порт ttyS0 всё равно?"));
    EXPECT_EQ(r.port.is_open(), GetParam().opened);
    EXPECT_EQ(r.port.opened_path, GetParam().opened ? "/dev/ttyS0" : "");
    EXPECT_EQ(r.model.timer_enabled(ctl::Timer1), !GetParam().opened);
    EXPECT_EQ(r.model.timer_enabled(ctl::TMRComm), GetParam().opened);
}

INSTANTIATE_TEST_SUITE_P(Answers, OpenConsole,
                         ::testing::Values(ConsoleOpenCase{"No", false, false},
                                           ConsoleOpenCase{"Yes", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpenConsole, ADevicePortOpensWithoutAQuestion) {
    HelpRig r;
    r.lister.entries = {usb("ttyUSB0"), console("ttyS0")};
    r.model.set_items(ctl::CmbPort, {"ttyUSB0", "ttyS0"});
    r.model.set_selected(ctl::CmbPort, 0);
    r.open();
    EXPECT_TRUE(r.dialogs.questions.empty());
    EXPECT_EQ(r.port.opened_path, "/dev/ttyUSB0");
}

}  // namespace
}  // namespace velkon
