// The tracker pages end to end: the real serial driver on a pseudo-terminal, the exchange tick,
// and the simulated unit on the other side. A page change reads the record, an edit is written
// and read back, and the live data is shown between.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "serial/serial_port.h"
#include "sim/pty_server.h"
#include "support/form_fixture.h"
#include "support/sim_window.h"
#include "tracker/answers.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using tracker_test::file_content;

struct TrackerRig : testing::SimWindow {
    std::uint64_t sent = 0;

    // One exchange tick; every tick sends one request, and the next tick starts only once the
    // unit has answered it, so each tick reads the whole answer to the one before.
    void tick() {
        app.exchange().start_tick();
        ++sent;
        ASSERT_TRUE(server.wait_requests(sent, 5s)) << "request " << sent << " not answered";
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) tick();
    }

    sim::TrackerConfig unit_config() {
        return server.with_device([](sim::Device& d) { return d.tracker().config; });
    }
};

// What a page should show: texts of controls, and boxes or option buttons that must be set or
// clear.
struct Shown {
    std::vector<std::pair<ControlName, const char*>> texts = {};
    std::vector<ControlName> set = {};
    std::vector<ControlName> clear = {};
};

void expect_shown(const WindowModel& m, const Shown& shown) {
    for (const auto& [control, text] : shown.texts) EXPECT_EQ(m.text(control), text) << control;
    for (ControlName c : shown.set) EXPECT_TRUE(m.checked(c)) << c;
    for (ControlName c : shown.clear) EXPECT_FALSE(m.checked(c)) << c;
}

// Overwrites the controls of the record, so a read that fills nothing shows up.
void scramble(WindowModel& m) {
    for (ControlName c : {ctl::apn, ctl::gsm_user, ctl::gdm_pwd, ctl::pincod, ctl::ip_serv,
                          ctl::port_serv, ctl::id_dev, ctl::pwd_serv, ctl::time_otpr, ctl::ad1,
                          ctl::ad5, ctl::ad8, ctl::vPo, ctl::sern}) {
        m.set_text(c, "?");
    }
    m.set_checked(ctl::r13, true);
    m.set_checked(ctl::r21, true);
    for (ControlName c : {ctl::Check1, ctl::Check2, ctl::Check5, ctl::EGTS_prot})
        m.set_checked(c, false);
}

TEST(TrackerRoundTrip, PageChangeReadsEditIsWrittenAndReadsBackEqual) {
    TrackerRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    WindowModel& m = rig.model;
    scramble(m);

    // Page "Трекер": the tick that notices the change sends the read (the scrambled fields are
    // unwritten changes: the engineer agrees to replace them); the next one shows it.
    rig.dialogs.answers = {true};
    m.set_tab(1);
    rig.tick();
    EXPECT_EQ(m.vars.last_tab, 1);
    rig.tick();
    expect_shown(m, {.texts = {{ctl::MsgCom, "Чтение"},
                               {ctl::apn, "internet"},
                               {ctl::gsm_user, "gdata"},
                               {ctl::gdm_pwd, "gdata"},
                               {ctl::pincod, ""},
                               {ctl::ip_serv, "203.0.113.10"},
                               {ctl::port_serv, "20332"},
                               {ctl::id_dev, "0000012345"},
                               {ctl::pwd_serv, ""},
                               {ctl::time_otpr, "60"},
                               {ctl::ad1, "1"},
                               {ctl::ad8, "8"},
                               {ctl::vPo, "43"},
                               {ctl::sern, "100500"}},
                     .set = {ctl::r11, ctl::r23, ctl::Check1, ctl::Check2},
                     .clear = {ctl::Check5, ctl::EGTS_prot}});
    EXPECT_TRUE(m.visible(ctl::EGTS_prot));

    // The idle poll's answer: the live data.
    rig.tick();
    expect_shown(m, {.texts = {{ctl::MsgCom, "Получены данные"},
                               {ctl::ain1, "12.5"},
                               {ctl::ain3, "13.8"},
                               {ctl::fin2, "513"},
                               {ctl::in1, "1"},
                               {ctl::lls2, "258"},
                               {ctl::gsm, "21"},
                               {ctl::sputn, "9"},
                               {ctl::traf, "12"},
                               {ctl::ns, "31"}}});
    EXPECT_GT(m.value(ctl::ProgressBar1), 0);
    EXPECT_LE(m.value(ctl::ProgressBar1), 50);

    // Edit and write from page "Трекер".
    m.set_text(ctl::apn, "m2m.example");
    m.set_text(ctl::gsm_user, "Пётр");
    m.set_text(ctl::port_serv, "8080");
    m.set_text(ctl::pwd_serv, "не трогай");
    m.set_text(ctl::time_otpr, "120");
    m.set_checked(ctl::r12, true);
    m.set_checked(ctl::Check5, true);
    m.set_checked(ctl::EGTS_prot, true);
    m.set_text(ctl::ad5, "200");
    rig.app.fire(ctl::Command3);
    const Frame written = m.vars.wrs;
    ASSERT_EQ(written.size(), 169u);
    rig.tick();  // sends the write
    rig.tick();  // shows its acknowledgement
    EXPECT_EQ(m.text(ctl::MsgCom), "Конфига вроде записана");
    EXPECT_EQ(file_content(rig.folder.path() / "123.cfg"), written);

    const sim::TrackerConfig unit = rig.unit_config();
    EXPECT_EQ(unit.apn, "m2m.example");
    EXPECT_EQ(unit.gsm_user, "\xCF\xB8\xF2\xF0");  // "Пётр" in the unit's code page
    EXPECT_EQ(unit.port, "8080");
    EXPECT_EQ(unit.period, 120);
    EXPECT_EQ(unit.input1_mode, 2);
    EXPECT_EQ(unit.input2_mode, 3);
    EXPECT_EQ(unit.channel_flags[0], 0x81);
    EXPECT_EQ(unit.channel_flags[4], 0x01);
    EXPECT_EQ(unit.channel_addresses[4], 200);

    // Page "Сервер" reads again; the controls come back as edited.
    scramble(m);
    rig.dialogs.answers = {true};
    m.set_tab(2);
    rig.tick();
    rig.tick();
    expect_shown(m, {.texts = {{ctl::MsgCom, "Чтение"},
                               {ctl::apn, "m2m.example"},
                               {ctl::gsm_user, "Пётр"},
                               {ctl::gdm_pwd, "gdata"},
                               {ctl::port_serv, "8080"},
                               {ctl::pwd_serv, "не трогай"},
                               {ctl::time_otpr, "120"},
                               {ctl::ad1, "1"},
                               {ctl::ad5, "200"},
                               {ctl::ad8, "8"}},
                     .set = {ctl::r12, ctl::r23, ctl::Check1, ctl::Check5, ctl::EGTS_prot}});

    // Written again unchanged, the record gives the same frame.
    rig.app.fire(ctl::setdata);
    EXPECT_EQ(m.vars.wrs, written);
    EXPECT_TRUE(rig.dialogs.messages.empty());
}

// Edits survive a look at the other page: the read a page change makes asks first when fields
// were changed and not written, and the mark beside the status line says so until the unit has
// them.
TEST(TrackerRoundTrip, UnwrittenEditsAreKeptUnlessTheEngineerAgreesToReadAgain) {
    TrackerRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    WindowModel& m = rig.model;
    m.set_tab(1);
    rig.ticks(2);
    EXPECT_TRUE(rig.dialogs.questions.empty());  // nothing was changed yet
    EXPECT_FALSE(m.visible(ctl::changed_mark));

    m.set_text(ctl::time_otpr, "300");
    rig.app.on_event(m.index_of(ctl::time_otpr), ControlEvent::Change);
    m.set_checked(ctl::Check5, true);
    rig.app.on_event(m.index_of(ctl::Check5), ControlEvent::Click);
    EXPECT_TRUE(m.visible(ctl::changed_mark));

    rig.dialogs.answers = {false};  // «Нет»: keep the fields
    m.set_tab(2);
    rig.ticks(2);
    m.set_tab(1);
    rig.dialogs.answers = {false};
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.questions,
              std::vector<std::string>(2, std::string(kUnwrittenChangesQuestion)));
    EXPECT_EQ(m.text(ctl::time_otpr), "300");
    EXPECT_TRUE(m.checked(ctl::Check5));
    EXPECT_TRUE(m.visible(ctl::changed_mark));

    // Written and acknowledged: the unit has them, the next page change reads without asking.
    rig.app.fire(ctl::Command3);
    rig.ticks(2);
    EXPECT_EQ(m.text(ctl::MsgCom), "Конфига вроде записана");
    EXPECT_FALSE(m.visible(ctl::changed_mark));
    EXPECT_EQ(rig.unit_config().period, 300);
    m.set_tab(2);
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.questions.size(), 2u);
    EXPECT_EQ(m.text(ctl::time_otpr), "300");

    // «Да» replaces the edits with the unit's values; «Читать» asks the same way.
    m.set_text(ctl::time_otpr, "500");
    rig.dialogs.answers = {true};
    rig.app.fire(ctl::readdata);
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.questions.size(), 3u);
    EXPECT_EQ(m.text(ctl::time_otpr), "300");
    EXPECT_FALSE(m.visible(ctl::changed_mark));
}

TEST(TrackerRoundTrip, ImeiAndSimAreReadAndBound) {
    TrackerRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    WindowModel& m = rig.model;
    m.set_tab(2);
    rig.tick();  // the page's read
    rig.app.fire(ctl::rd_imei);
    rig.tick();  // shows the record, sends the IMEI request
    rig.tick();  // shows IMEI and SIM
    EXPECT_EQ(m.text(ctl::MsgCom), "Считаны IMEI");
    EXPECT_EQ(m.text(ctl::imei), "356938035643809");
    EXPECT_EQ(m.text(ctl::nsim), "89701010000000000012");

    rig.dialogs.inputs.push_back("100500");
    rig.app.fire(ctl::sl3);
    EXPECT_TRUE(rig.dialogs.messages.empty());
    const auto day = file_content(m.vars.day_file);
    ASSERT_TRUE(day);
    EXPECT_NE(day->find("100500;89701010000000000012;356938035643809\r\n"), std::string::npos);

    // A silent unit resets both labels at the first tick without an answer.
    rig.server.set_faults({.silent = true});
    rig.tick();  // reads the answer to the last poll, sends one that is lost
    rig.app.exchange().start_tick();
    EXPECT_EQ(m.text(ctl::imei), "NOT READ");
    EXPECT_EQ(m.text(ctl::nsim), "NOT READ");
}

}  // namespace
}  // namespace velkon
