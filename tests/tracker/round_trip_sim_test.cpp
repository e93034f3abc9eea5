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
    std::vector<std::pair<const char*, const char*>> texts = {};
    std::vector<const char*> set = {};
    std::vector<const char*> clear = {};
};

void expect_shown(const WindowModel& m, const Shown& shown) {
    for (const auto& [control, text] : shown.texts) EXPECT_EQ(m.text(control), text) << control;
    for (const char* c : shown.set) EXPECT_TRUE(m.checked(c)) << c;
    for (const char* c : shown.clear) EXPECT_FALSE(m.checked(c)) << c;
}

// Overwrites the controls of the record, so a read that fills nothing shows up.
void scramble(WindowModel& m) {
    for (const char* c : {"apn", "gsm_user", "gdm_pwd", "pincod", "ip_serv", "port_serv", "id_dev",
                          "pwd_serv", "time_otpr", "ad1", "ad5", "ad8", "vPo", "sern"}) {
        m.set_text(c, "?");
    }
    m.set_checked("r13", true);
    m.set_checked("r21", true);
    for (const char* c : {"Check1", "Check2", "Check5", "EGTS_prot"}) m.set_checked(c, false);
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
    expect_shown(m, {.texts = {{"MsgCom", "Чтение"},
                               {"apn", "internet"},
                               {"gsm_user", "gdata"},
                               {"gdm_pwd", "gdata"},
                               {"pincod", ""},
                               {"ip_serv", "203.0.113.10"},
                               {"port_serv", "20332"},
                               {"id_dev", "0000012345"},
                               {"pwd_serv", ""},
                               {"time_otpr", "60"},
                               {"ad1", "1"},
                               {"ad8", "8"},
                               {"vPo", "43"},
                               {"sern", "100500"}},
                     .set = {"r11", "r23", "Check1", "Check2"},
                     .clear = {"Check5", "EGTS_prot"}});
    EXPECT_TRUE(m.visible("EGTS_prot"));

    // The idle poll's answer: the live data.
    rig.tick();
    expect_shown(m, {.texts = {{"MsgCom", "Получены данные"},
                               {"ain1", "12.5"},
                               {"ain3", "13.8"},
                               {"fin2", "513"},
                               {"in1", "1"},
                               {"lls2", "258"},
                               {"gsm", "21"},
                               {"sputn", "9"},
                               {"traf", "12"},
                               {"ns", "31"}}});
    EXPECT_GT(m.value("ProgressBar1"), 0);
    EXPECT_LE(m.value("ProgressBar1"), 50);

    // Edit and write from page "Трекер".
    m.set_text("apn", "m2m.example");
    m.set_text("gsm_user", "Пётр");
    m.set_text("port_serv", "8080");
    m.set_text("pwd_serv", "не трогай");
    m.set_text("time_otpr", "120");
    m.set_checked("r12", true);
    m.set_checked("Check5", true);
    m.set_checked("EGTS_prot", true);
    m.set_text("ad5", "200");
    rig.app.fire("Command3");
    const Frame written = m.vars.wrs;
    ASSERT_EQ(written.size(), 169u);
    rig.tick();  // sends the write
    rig.tick();  // shows its acknowledgement
    EXPECT_EQ(m.text("MsgCom"), "Конфига вроде записана");
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
    expect_shown(m, {.texts = {{"MsgCom", "Чтение"},
                               {"apn", "m2m.example"},
                               {"gsm_user", "Пётр"},
                               {"gdm_pwd", "gdata"},
                               {"port_serv", "8080"},
                               {"pwd_serv", "не трогай"},
                               {"time_otpr", "120"},
                               {"ad1", "1"},
                               {"ad5", "200"},
                               {"ad8", "8"}},
                     .set = {"r12", "r23", "Check1", "Check5", "EGTS_prot"}});

    // Written again unchanged, the record gives the same frame.
    rig.app.fire("setdata");
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
    EXPECT_FALSE(m.visible(kChangedMark));

    m.set_text("time_otpr", "300");
    rig.app.on_event(m.index_of("time_otpr"), ControlEvent::Change);
    m.set_checked("Check5", true);
    rig.app.on_event(m.index_of("Check5"), ControlEvent::Click);
    EXPECT_TRUE(m.visible(kChangedMark));

    rig.dialogs.answers = {false};  // «Нет»: keep the fields
    m.set_tab(2);
    rig.ticks(2);
    m.set_tab(1);
    rig.dialogs.answers = {false};
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.questions,
              std::vector<std::string>(2, std::string(kUnwrittenChangesQuestion)));
    EXPECT_EQ(m.text("time_otpr"), "300");
    EXPECT_TRUE(m.checked("Check5"));
    EXPECT_TRUE(m.visible(kChangedMark));

    // Written and acknowledged: the unit has them, the next page change reads without asking.
    rig.app.fire("Command3");
    rig.ticks(2);
    EXPECT_EQ(m.text("MsgCom"), "Конфига вроде записана");
    EXPECT_FALSE(m.visible(kChangedMark));
    EXPECT_EQ(rig.unit_config().period, 300);
    m.set_tab(2);
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.questions.size(), 2u);
    EXPECT_EQ(m.text("time_otpr"), "300");

    // «Да» replaces the edits with the unit's values; «Читать» asks the same way.
    m.set_text("time_otpr", "500");
    rig.dialogs.answers = {true};
    rig.app.fire("readdata");
    rig.ticks(2);
    EXPECT_EQ(rig.dialogs.questions.size(), 3u);
    EXPECT_EQ(m.text("time_otpr"), "300");
    EXPECT_FALSE(m.visible(kChangedMark));
}

TEST(TrackerRoundTrip, ImeiAndSimAreReadAndBound) {
    TrackerRig rig;
    ASSERT_TRUE(rig.open()) << rig.server.error();
    WindowModel& m = rig.model;
    m.set_tab(2);
    rig.tick();  // the page's read
    rig.app.fire("rd_imei");
    rig.tick();  // shows the record, sends the IMEI request
    rig.tick();  // shows IMEI and SIM
    EXPECT_EQ(m.text("MsgCom"), "Считаны IMEI");
    EXPECT_EQ(m.text("imei"), "356938035643809");
    EXPECT_EQ(m.text("nsim"), "89701010000000000012");

    rig.dialogs.inputs.push_back("100500");
    rig.app.fire("sl3");
    EXPECT_TRUE(rig.dialogs.messages.empty());
    const auto day = file_content(m.vars.day_file);
    ASSERT_TRUE(day);
    EXPECT_NE(day->find("100500;89701010000000000012;356938035643809\r\n"), std::string::npos);

    // A silent unit resets both labels at the first tick without an answer.
    rig.server.set_faults({.silent = true});
    rig.tick();  // reads the answer to the last poll, sends one that is lost
    rig.app.exchange().start_tick();
    EXPECT_EQ(m.text("imei"), "NOT READ");
    EXPECT_EQ(m.text("nsim"), "NOT READ");
}

}  // namespace
}  // namespace velkon
