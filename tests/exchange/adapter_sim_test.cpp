// The window against the simulator behind adapters as the field has them: one that echoes every
// request before the answer (half-duplex RS-485), and a device at another line speed. The echo
// must change nothing the window shows; bytes at the wrong speed must never pass for an answer.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "exchange/exchange_engine.h"
#include "sim/pty_server.h"
#include "support/sim_window.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;

struct AdapterRig : testing::SimWindow {
    std::uint64_t sent = 0;

    // One tick; the next starts only once the simulator has answered (echo included), so every
    // tick reads the whole answer to the one before.
    void tick() {
        app.exchange().start_tick();
        ++sent;
        ASSERT_TRUE(server.wait_requests(sent, 5s)) << "request " << sent << " not answered";
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }
};

struct AdapterCase {
    const char* name;
    sim::Faults faults;
    // The write frame echoed twice and its acknowledgement are longer than one tick's read
    // (255 bytes): the acknowledgement is not seen, and the window does not claim the write.
    bool acknowledgement_seen = true;
};

void PrintTo(const AdapterCase& c, std::ostream* os) {
    *os << c.name;
}

class EchoingAdapter : public ::testing::TestWithParam<AdapterCase> {};

// Every answer path: readings, version, configuration read, the write's acknowledgement, IMEI
// and SIM, live data.
TEST_P(EchoingAdapter, EveryAnswerIsReadFromItsOwnFirstByte) {
    AdapterRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    rig.server.set_faults(GetParam().faults);
    WindowModel& m = rig.model;

    rig.ticks(2);
    EXPECT_EQ(m.text(ctl::sn), "4242");
    EXPECT_TRUE(m.enabled(ctl::D_4096));
    rig.tick();
    EXPECT_EQ(m.text(ctl::MsgCom), "Получены данные.");
    EXPECT_NE(m.text(ctl::tek), "нет данных");

    m.set_tab(2);
    rig.ticks(2);
    EXPECT_EQ(m.text(ctl::apn), "internet");
    EXPECT_EQ(m.text(ctl::ip_serv), "203.0.113.10");
    EXPECT_EQ(m.text(ctl::id_dev), "0000012345");
    EXPECT_EQ(m.text(ctl::time_otpr), "60");

    m.set_text(ctl::id_dev, "0000054321");
    rig.app.fire(ctl::setdata);
    rig.ticks(2);
    if (GetParam().acknowledgement_seen) {
        EXPECT_EQ(m.text(ctl::MsgCom), "Конфига вроде записана");
    } else {
        EXPECT_EQ(m.text(ctl::MsgCom), kDamagedUnitAnswer);
        rig.dialogs.answers = {true};  // the next page reads the unit again
    }
    EXPECT_EQ(rig.server.with_device([](sim::Device& d) { return d.tracker().config; }), [] {
        sim::TrackerConfig expected;
        expected.device_id = "0000054321";
        return expected;
    }());

    rig.app.fire(ctl::rd_imei);
    rig.ticks(2);
    EXPECT_EQ(m.text(ctl::MsgCom), "Считаны IMEI");
    EXPECT_EQ(m.text(ctl::imei), "356938035643809");
    EXPECT_EQ(m.text(ctl::nsim), "89701010000000000012");

    m.set_tab(1);
    rig.ticks(3);
    EXPECT_EQ(m.text(ctl::MsgCom), "Получены данные");
    EXPECT_EQ(m.text(ctl::sputn), "9");
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

// Adapters and repeaters as the field has them: none, an echo, the request twice, the request
// before it handed back one request late, only the first bytes of each request.
INSTANTIATE_TEST_SUITE_P(
    Adapters, EchoingAdapter,
    ::testing::Values(AdapterCase{"NoEcho", {}}, AdapterCase{"Echo", {.echo = true}},
                      AdapterCase{"EchoTwice", {.echo_twice = true}, false},
                      AdapterCase{"PreviousRequest", {.echo = true, .echo_previous = true}},
                      AdapterCase{"PartialEcho", {.partial_echo = 3}}),
    [](const auto& info) { return std::string(info.param.name); });

// A unit that answers everything but the configuration read: the pages keep the window's values,
// say so, and nothing is written over the unit's record.
TEST(UnitWithoutConfigurationRead, GetsNothingWrittenOverItsRecord) {
    AdapterRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    rig.server.set_faults({.ignore_code = 0xA2});
    const sim::TrackerConfig before =
        rig.server.with_device([](sim::Device& d) { return d.tracker().config; });
    WindowModel& m = rig.model;
    m.set_tab(2);
    rig.ticks(3);
    EXPECT_EQ(m.text(ctl::MsgCom), kLiveDataConfigurationNotRead);
    m.set_text(ctl::apn, "edited");
    rig.app.fire(ctl::setdata);
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.texts(), std::vector<std::string>{std::string(kReadConfigurationFirst)});
    EXPECT_EQ(rig.server.with_device([](sim::Device& d) { return d.tracker().config; }), before);
}

// An acknowledgement with a bad check byte is no acknowledgement: the window does not say the
// configuration was written, and keeps no copy of it.
TEST(DamagedAcknowledgement, IsNotTakenForAWrite) {
    AdapterRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    rig.server.set_faults({.wrong_check_code = 0xA3});
    WindowModel& m = rig.model;
    m.set_tab(2);
    rig.ticks(2);
    ASSERT_EQ(m.text(ctl::apn), "internet");
    rig.app.fire(ctl::setdata);
    rig.ticks(2);
    EXPECT_EQ(m.text(ctl::MsgCom), kDamagedUnitAnswer);
    EXPECT_FALSE(std::filesystem::exists(rig.folder.path() / "123.cfg"));
}

TEST(EchoingAdapter, AnEchoAloneIsSilence) {
    AdapterRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    rig.server.set_faults({.silent = true, .echo = true});
    rig.ticks(2);
    EXPECT_EQ(rig.model.text(ctl::MsgCom), "Датчик не отвечает");
    EXPECT_EQ(rig.model.text(ctl::tek), "нет данных");
}

TEST(WrongSpeed, GarbageNeverPassesForDataOnAnyPage) {
    AdapterRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    rig.ticks(2);
    rig.server.set_faults({.garbage_speed = true});
    rig.tick();  // reads the last clean answer
    const std::string current = rig.model.text(ctl::tek);
    ASSERT_EQ(rig.model.text(ctl::MsgCom), "Получены данные.");
    rig.ticks(2);
    EXPECT_EQ(rig.model.text(ctl::MsgCom), kNoIntactAnswer);
    EXPECT_EQ(rig.model.text(ctl::tek), current);

    const std::string apn = rig.model.text(ctl::apn);
    rig.model.set_tab(2);
    rig.ticks(2);
    EXPECT_EQ(rig.model.text(ctl::MsgCom), kNoIntactAnswer);
    EXPECT_EQ(rig.model.text(ctl::apn), apn);
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

}  // namespace
}  // namespace velkon
