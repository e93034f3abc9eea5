// The port scan, the open button and the close button.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/form_fixture.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using testing::LinkRig;
using Names = std::vector<std::string>;

std::vector<PortEntry> entries(const Names& names) {
    std::vector<PortEntry> out;
    for (const auto& name : names) out.push_back({name, device_path_for(name)});
    return out;
}

struct ScanCase {
    const char* name;
    Names before;  // the list before the scan
    int selected_before;
    Names found;
    Names list;
    int selected;
    std::string line;
};

class PortScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(PortScan, RefillsTheListAndKeepsTheSelectedPosition) {
    const ScanCase& c = GetParam();
    LinkRig r;
    r.model.set_items(ctl::CmbPort, c.before);
    r.model.set_selected(ctl::CmbPort, c.selected_before);
    r.model.set_text(ctl::txtRec, "old\r\n");
    r.lister.entries = entries(c.found);
    r.app.connection().scan_ports();

    EXPECT_EQ(r.model.items(ctl::CmbPort), c.list);
    EXPECT_EQ(r.model.selected(ctl::CmbPort), c.selected);
    EXPECT_EQ(r.model.text(ctl::txtRec), "old\r\n" + c.line);
    EXPECT_EQ(r.port.calls, (Names{"close", "flush"}));
}

Names many(int count) {
    Names out;
    for (int n = 0; n < count; ++n) out.push_back("ttyUSB" + std::to_string(n));
    return out;
}

std::string line_of(const Names& names) {
    std::string out;
    for (const auto& n : names) out += n + ", ";
    return out + "\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortScan,
    ::testing::Values(ScanCase{"TwoFoundNothingSelected",
                               {},
                               -1,
                               {"ttyS1", "ttyS3"},
                               {"ttyS1", "ttyS3"},
                               0,
                               "ttyS1, ttyS3, \r\n"},
                      ScanCase{"SelectionBeyondTheEndGoesToTheLast",
                               {"ttyS1", "ttyS3"},
                               1,
                               {"ttyS3"},
                               {"ttyS3"},
                               0,
                               "ttyS3, \r\n"},
                      ScanCase{"SelectionFollowsThePositionNotTheName",
                               {"ttyS1", "ttyS3", "ttyS4"},
                               1,
                               {"ttyS3", "ttyS4", "ttyS5"},
                               {"ttyS3", "ttyS4", "ttyS5"},
                               1,
                               "ttyS3, ttyS4, ttyS5, \r\n"},
                      ScanCase{"NothingFound", {"ttyS1"}, 0, {}, {"----"}, 0, "\r\n"},
                      ScanCase{"AfterNothingFound",
                               {"----"},
                               0,
                               {"ttyACM0", "/dev/pts/7"},
                               {"ttyACM0", "/dev/pts/7"},
                               0,
                               "ttyACM0, /dev/pts/7, \r\n"},
                      ScanCase{"ThirtyListed", {}, -1, many(30), many(30), 0, line_of(many(30))}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PortScanText, StaysWithinItsCapDroppingTheOldestWholeLines) {
    LinkRig r;
    r.lister.entries = entries({"ttyUSB0", "ttyUSB1"});
    const std::string line = "ttyUSB0, ttyUSB1, \r\n";
    const std::size_t scans = kTxtRecLimit / line.size() * 3;
    for (std::size_t i = 0; i < scans; ++i) r.app.connection().scan_ports();
    const std::string& text = r.model.text(ctl::txtRec);
    EXPECT_LE(text.size(), kTxtRecLimit);
    EXPECT_GT(text.size(), kTxtRecLimit - line.size() * 2);
    EXPECT_EQ(text.size() % line.size(), 0u);  // whole lines only
    EXPECT_EQ(text.substr(0, line.size()), line);
}

// «Установить полный» is confirmed after the link went while the question was open: the
// command is dropped with a notice, and from then on the port scan runs every 100 ms.
struct DroppedCommand : LinkRig {
    static constexpr const char* kNoPortHint = "Порт не найден: подключите устройство";

    DroppedCommand() {
        clock.since_start = 60s;  // the notice's time counts from when it was set
        open_link();
        dialogs.while_asked = [this](const std::string&) { app.connection().close_link(); };
        dialogs.answers = {true};
        app.fire(ctl::hig);
        dialogs.while_asked = nullptr;
    }
    void scan_at(std::chrono::milliseconds after_the_notice) {
        clock.since_start = 60s + after_the_notice;
        app.fire(ctl::Timer1, ControlEvent::Timer);
    }
};

TEST(PortScan, LeavesADroppedCommandsNoticeForFiveSeconds) {
    DroppedCommand r;
    ASSERT_EQ(r.model.text(ctl::MsgCom), kCommandNotSent);
    for (auto at = 0ms; at <= 4900ms; at += 100ms) {
        r.scan_at(at);
        ASSERT_EQ(r.model.text(ctl::MsgCom), kCommandNotSent) << at.count() << " ms";
        ASSERT_EQ(r.model[ctl::MsgCom].tooltip, "") << at.count() << " ms";
    }
    r.scan_at(5000ms);
    EXPECT_EQ(r.model.text(ctl::MsgCom), DroppedCommand::kNoPortHint);
    EXPECT_NE(r.model[ctl::MsgCom].tooltip, "");
}

TEST(PortScan, ShowsItsHintAgainOnceTheUserActsAfterADroppedCommand) {
    DroppedCommand r;
    r.scan_at(100ms);
    ASSERT_EQ(r.model.text(ctl::MsgCom), kCommandNotSent);
    r.model.set_text(ctl::CmbPort, "ttyUSB1");
    r.app.on_event(r.model.index_of(ctl::CmbPort), ControlEvent::Change);
    r.scan_at(200ms);
    EXPECT_EQ(r.model.text(ctl::MsgCom), DroppedCommand::kNoPortHint);
}

TEST(OpenButton, OpensTheSelectedEntryAndStartsTheExchange) {
    LinkRig r;
    r.model.set_timer_enabled(ctl::Timer1, true);
    r.model.set_items(ctl::CmbPort, {"ttyUSB0", "/dev/pts/4"});
    r.model.set_selected(ctl::CmbPort, 1);
    r.app.connection().open_link();

    EXPECT_EQ(r.port.calls, Names{"open /dev/pts/4"});
    EXPECT_EQ(r.port.line(), kDeviceLine);
    EXPECT_FALSE(r.model.timer_enabled(ctl::Timer1));
    EXPECT_TRUE(r.model.timer_enabled(ctl::TMRComm));
    EXPECT_FALSE(r.model.enabled(ctl::BTNOpenCom));
    EXPECT_TRUE(r.model.enabled(ctl::BTNCloseCom));  // the link's groups are switched on
    EXPECT_TRUE(r.model.enabled(ctl::SSTab1));
    EXPECT_TRUE(r.model.enabled(ctl::MsgCom));
    EXPECT_FALSE(r.model.enabled(ctl::R_a));  // version groups wait for the version answer
    EXPECT_TRUE(r.dialogs.messages.empty());
}

struct OpenFailureCase {
    const char* name;
    const char* entry;
    OpenError error;
    Names boxes;
};

class OpenButtonFailure : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenButtonFailure, ShowsTheMessagesAndResumesTheScan) {
    const OpenFailureCase& c = GetParam();
    LinkRig r;
    r.model.set_timer_enabled(ctl::Timer1, true);
    r.model.set_items(ctl::CmbPort, {c.entry});
    r.model.set_selected(ctl::CmbPort, 0);
    r.port.open_succeeds = false;
    r.port.open_error = c.error;
    r.app.connection().open_link();

    EXPECT_EQ(r.dialogs.texts(), c.boxes);
    EXPECT_EQ(r.dialogs.messages.back().icon, Dialogs::Icon::Exclamation);
    EXPECT_EQ(r.dialogs.messages.back().title, "Orvik");
    EXPECT_TRUE(r.model.timer_enabled(ctl::Timer1));
    EXPECT_FALSE(r.model.timer_enabled(ctl::TMRComm));
    EXPECT_TRUE(r.model.enabled(ctl::BTNOpenCom));
    EXPECT_FALSE(r.model.enabled(ctl::BTNCloseCom));
}

const std::string kUnavailable = " недоступен. Установите нужный порт.";

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenButtonFailure,
    ::testing::Values(
        OpenFailureCase{"NoSuchDevice",
                        "ttyUSB0",
                        {OpenFailure::NoSuchDevice, 2, "", ""},
                        {"Com Port ttyUSB0" + kUnavailable + "\nУстройство не найдено."}},
        OpenFailureCase{"Busy",
                        "ttyUSB0",
                        {OpenFailure::Busy, 16, "", ""},
                        {"Com Port ttyUSB0" + kUnavailable + "\nПорт занят другой программой."}},
        OpenFailureCase{"ReasonUnknown", "----", {}, {"Com Port ----" + kUnavailable}},
        OpenFailureCase{
            "Configuration",
            "ttyS0",
            {OpenFailure::Configuration, 22, "", "Unable to set Comm DCB 19200,n,8,1 Error: 22"},
            {"Unable to set Comm DCB 19200,n,8,1 Error: 22", "Com Port ttyS0" + kUnavailable}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CloseButton, ResetsTheWindowInTheDescribedOrder) {
    LinkRig r;
    // An open link as the window shows it; the link's groups are left disabled so that the
    // change log below holds the close's own writes only.
    r.model.disable_tags_above_7();
    r.model.set_timer_enabled(ctl::TMRComm, true);
    r.model.set_timer_enabled(ctl::Timer1, false);
    r.model.set_enabled(ctl::BTNOpenCom, false);
    r.model.set_items(ctl::CmbNet, {"0", "7"});
    r.model.set_selected(ctl::CmbNet, 1);
    for (ControlName label : {ctl::sn, ctl::vv, ctl::tek, ctl::temp, ctl::uroven, ctl::lo, ctl::hi,
                              ctl::ne, ctl::MsgCom, ctl::netdev}) {
        r.model.set_text(label, "shown");
    }
    r.model.set_value(ctl::ProgressBar1, 512);
    r.model.set_color(ctl::Pic, kLampRed);
    Names changed;
    r.model.set_listener([&](int index) {
        const std::string& name = r.model.at(index).name;
        if (changed.empty() || changed.back() != name) changed.push_back(name);
    });

    r.app.connection().close_link();

    EXPECT_EQ(changed,
              (test::names_of({ctl::TMRComm, ctl::Timer1, ctl::BTNOpenCom, ctl::CmbNet, ctl::sn,
                               ctl::vv, ctl::tek, ctl::temp, ctl::uroven, ctl::lo, ctl::hi, ctl::ne,
                               ctl::ProgressBar1, ctl::MsgCom, ctl::netdev, ctl::Pic})));
    EXPECT_EQ(r.port.calls, (Names{"close", "close"}));
    EXPECT_EQ(r.model.items(ctl::CmbNet), Names{"0"});
    EXPECT_EQ(r.model.selected(ctl::CmbNet), 0);
    EXPECT_EQ(r.model.text(ctl::sn), "0");
    EXPECT_EQ(r.model.text(ctl::vv), "--------");
    for (ControlName label : {ctl::tek, ctl::temp, ctl::uroven, ctl::lo, ctl::hi, ctl::ne}) {
        EXPECT_EQ(r.model.text(label), "Нет данных") << label;
    }
    EXPECT_EQ(r.model.value(ctl::ProgressBar1), 0);
    EXPECT_EQ(r.model.text(ctl::MsgCom), "");
    EXPECT_EQ(r.model.text(ctl::netdev), "Устройства не определены");
    EXPECT_EQ(r.model[ctl::Pic].color, kLampYellow);
}

// What was pending was meant for the device being closed and goes with it.
TEST(CloseButton, DisablesEveryLinkAndVersionGroupDropsThePendingCommandKeepsThePage) {
    LinkRig r;
    r.open_link();
    r.model.enable_tag_163();
    r.vars().wrs = "pending";
    r.vars().last_tab = 2;
    r.app.connection().close_link();
    for (ControlName name :
         {ctl::BTNCloseCom, ctl::SSTab1, ctl::MsgCom, ctl::D_4096, ctl::CmbNet}) {
        EXPECT_FALSE(r.model.enabled(name)) << name;
    }
    EXPECT_TRUE(r.model.enabled(ctl::BTNOpenCom));
    EXPECT_TRUE(r.model.enabled(ctl::CmbPort));
    EXPECT_EQ(r.vars().wrs, "");
    EXPECT_EQ(r.vars().last_tab, 2);
}

}  // namespace
}  // namespace velkon
