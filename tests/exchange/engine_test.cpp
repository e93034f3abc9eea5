// The exchange tick through the window model with a fake port.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "protocol/cp1251.h"
#include "protocol/monitor.h"
#include "support/form_fixture.h"

namespace velkon {
namespace {

using testing::bytes;
using testing::framed;
using testing::kLiveRequest;
using testing::kReadingsRequest;
const Frame kVersionRequest = framed({0x31, 0x01, 0xFC});
const Frame kFullLevelRequest = framed({0x31, 0x01, 0xF5});
using testing::LinkRig;
using Calls = std::vector<std::string>;

TEST(ExchangeTick, AnsweredTickEchoesReadsThenSendsThenJudgesAndFlushes) {
    LinkRig r;
    r.open_link();
    const Frame answer = framed({0x3E, 0x00, 0xF5});
    r.tick(answer);

    // The link's first request asks the sensor for its version.
    EXPECT_EQ(r.port.calls, (Calls{"read", "write", "flush"}));
    EXPECT_EQ(r.port.writes, std::vector<std::string>{kVersionRequest});
    EXPECT_EQ(r.model.text(ctl::strText), request_echo(kVersionRequest));
    EXPECT_EQ(r.model.text(ctl::txtRec), answer_echo(kVersionRequest, answer));
    EXPECT_EQ(r.model.text(ctl::MsgCom), " Установлен верхний уровень.");
    EXPECT_EQ(r.model[ctl::Pic].color, kLampRed);
    EXPECT_EQ(r.vars().wrs, "");
    EXPECT_FALSE(r.app.exchange().tick_in_progress());
}

TEST(ExchangeTick, TrackerPagesPollTheLiveDataAndAnEmptySlotStillEchoes) {
    LinkRig r;
    r.open_link();
    r.vars().last_tab = 1;  // already on the page: no configuration read
    r.model.set_tab(1);
    r.tick("");
    EXPECT_EQ(r.port.writes, std::vector<std::string>{kLiveRequest});

    // Without a selected address nothing is queued: nothing is written, the echo is empty.
    r.port.calls.clear();
    r.model.set_selected(ctl::CmbNet, -1);
    r.tick("");
    EXPECT_EQ(r.port.calls, Calls{"read"});
    EXPECT_EQ(r.model.text(ctl::strText), "\r\n\r\n");
}

// One answer on the line and what the window shows after the tick.
struct AnswerCase {
    const char* name;
    std::string received;
    std::optional<std::string> status;  // nothing: MsgCom keeps its text
    std::vector<std::string> boxes;
    std::optional<std::string> gsm_text = std::nullopt;
};

class AnswerDispatch : public ::testing::TestWithParam<AnswerCase> {};

// The request whose answer `received` would be: the unit's codes go to the unit, «wrong
// password» answers the password, the rest are the sensor's own codes; text answers readings.
Frame request_answered_by(const std::string& received) {
    if (received.size() < 3 || byte_at(received, 0) != 0x3E) return kReadingsRequest;
    const int code = byte_at(received, 2);
    if (code == 0xA2) return framed({0x3E, 0xCA, 0xA2, 0, 0, 0, 0, 0});
    // A request without data would look like its own echo: the write carries its record, and
    // «Управление» answers a request with no answer of its own.
    if (code == 0xA3) return framed({0x3E, 0xCA, 0xA3, 0x16});
    if (code == 0xA1) return framed({0x3E, 0xCA, 0xA5, 0, 0, 0, 0, 0});
    if (code == 0xA0 || code == 0xA7) return framed({0x3E, 0xCA, code});
    if (code == 0xFD) return framed({0x31, 0x01, 0xF8, 0, 0, 0, 1});
    return framed({0x31, 0x01, code});
}

TEST_P(AnswerDispatch, SetsStatusBoxesAndLamp) {
    const AnswerCase& c = GetParam();
    LinkRig r;
    r.open_link();
    r.model.set_text(ctl::MsgCom, "before");
    r.vars().wrs = request_answered_by(c.received);
    r.tick("");  // the request goes out; the silence keeps "before" to bring it back
    r.tick(c.received);

    EXPECT_EQ(r.model.text(ctl::MsgCom), c.status.value_or("before"));
    EXPECT_EQ(r.dialogs.texts(), c.boxes);
    EXPECT_EQ(r.model.text(ctl::text_GSM), c.gsm_text.value_or("Text1"));
    EXPECT_EQ(r.model[ctl::Pic].color, kLampRed);
    EXPECT_EQ(r.port.calls.back(), "flush");
}

std::string padded(std::initializer_list<int> head, std::size_t size) {
    std::string out = bytes(head);
    out.resize(size, '\0');
    return Control_summ(out);
}

const std::string kGoodReadings =
    bytes({0x3E, 0x00, 0xF0, 0x19, 0x00, 0x02, 0xE8, 0x03, 0x00, 0x00, 0x10,
           0x27, 0x00, 0x00, 0xA0, 0x86, 0x01, 0x00, 0x01, 0x00, 0x88, 0x5E});
std::string damaged(std::string frame) {
    frame.back() = static_cast<char>(frame.back() ^ 0x01);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, AnswerDispatch,
    ::testing::Values(
        AnswerCase{"Version", framed({0x3E, 0, 0xFC, 42, 0, 0, 0, 0xA3, 0}), std::nullopt, {}},
        AnswerCase{"Readings", kGoodReadings, "Получены данные.", {}},
        AnswerCase{
            "ReadingsWrongCheck", damaged(kGoodReadings), std::string(kDamagedSensorAnswer), {}},
        AnswerCase{"ReadingsTooShort",
                   padded({0x3E, 0, 0xF0, 0x19, 0, 2, 0xE8, 3}, 19),
                   std::string(kDamagedSensorAnswer),
                   {}},
        AnswerCase{"EmptyLevel", framed({0x3E, 0, 0xFA}), " Установлен нижний уровень.", {}},
        AnswerCase{"Mode", framed({0x3E, 0, 0xF2, 0x0A}), " Установлен новый режим.", {}},
        AnswerCase{"FullLevel", framed({0x3E, 0, 0xF5}), " Установлен верхний уровень.", {}},
        AnswerCase{"Address", framed({0x3E, 0, 0xFB}), " Установлен сетевой номер.", {}},
        AnswerCase{"Serial", framed({0x3E, 0, 0xA4}), "Установлен серийный номер.", {}},
        AnswerCase{"ShiftEmpty", framed({0x3E, 0, 0xF9}), "Сдвинут нижний уровень.", {}},
        AnswerCase{"ShiftFull", framed({0x3E, 0, 0xF4}), "Сдвинут верхний уровень.", {}},
        AnswerCase{"PasswordTaken", framed({0x3E, 0, 0xF8}), "Пароль принят.", {}},
        AnswerCase{
            "PasswordWrong", framed({0x3E, 0, 0xFD}), "Неверный пароль.", {"Неверный пароль"}},
        AnswerCase{"PasswordChanged", framed({0x3E, 0, 0xF7}), "Пароль изменен.", {}},
        AnswerCase{"Par", framed({0x3E, 0, 0x06}), "Пар.", {}},
        AnswerCase{"ConfigRead", padded({0x3E, 0xCA, 0xA2}, 171), "Чтение", {}},
        AnswerCase{
            "ConfigReadCut", padded({0x3E, 0xCA, 0xA2}, 165), std::string(kConfigurationCut), {}},
        AnswerCase{"Control", framed({0x3E, 0xCA, 0xA1}), "Управление", {}},
        AnswerCase{"ConfigWritten", framed({0x3E, 0xCA, 0xA3}), "Конфига вроде записана", {}},
        AnswerCase{"Imei", padded({0x3E, 0xCA, 0xA7, '3', '5', '6'}, 39), "Считаны IMEI", {}},
        AnswerCase{"LiveData", padded({0x3E, 0xCA, 0xA0}, 59), "Получены данные", {}},
        AnswerCase{"Unknown",
                   framed({0x3E, 0, 0x99}),
                   " Непонятно что пришло! ",
                   {"Ответ не соответствует запросу"}},
        AnswerCase{"ShortFrame", bytes({0x3E, 0, 0xF5}), std::string(kDamagedSensorAnswer), {}},
        AnswerCase{
            "ModemText", "+CSQ: 17,0\r\n", std::string(kNoIntactAnswer), {}, "+CSQ: 17,0\r\n"},
        AnswerCase{"CyrillicText",
                   bytes({'O', 'K', ' ', 0xC4, 0xE0}),
                   std::string(kNoIntactAnswer),
                   {},
                   "OK Да"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExchangeTick, SilenceKeepsTheStatusAndTheFirstAnswerBringsItBack) {
    LinkRig r;
    r.open_link();
    r.model.set_text(ctl::MsgCom, "Пароль принят.");
    r.model.set_text(ctl::imei, "356938035643809");
    r.model.set_text(ctl::nsim, "89701010000000000012");

    r.tick("");
    EXPECT_EQ(r.model.text(ctl::MsgCom), "Датчик не отвечает");
    EXPECT_EQ(r.model.text(ctl::imei), "NOT READ");
    EXPECT_EQ(r.model.text(ctl::nsim), "NOT READ");
    EXPECT_EQ(r.model[ctl::Pic].color, kLampWhite);
    EXPECT_EQ(r.port.calls, (Calls{"read", "write"}));  // no flush after silence
    r.vars().wrs = kVersionRequest;
    r.tick("");
    EXPECT_EQ(r.model[ctl::Pic].color, kLampGrey);
    EXPECT_EQ(r.vars().last_msg, "Пароль принят.");  // the second silent tick keeps it
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{kVersionRequest, kVersionRequest}));

    // An answer without a status of its own shows the saved text again.
    r.tick(framed({0x3E, 0, 0xFC, 1, 0, 0, 0, 0xA3, 0}));
    EXPECT_EQ(r.model.text(ctl::MsgCom), "Пароль принят.");
    EXPECT_FALSE(r.vars().no_data);

    // After another silence an answer with a status replaces the restored text.
    r.vars().wrs = kFullLevelRequest;
    r.tick("");
    r.tick(framed({0x3E, 0, 0xF5}));
    EXPECT_EQ(r.model.text(ctl::MsgCom), " Установлен верхний уровень.");
    r.tick("");
    EXPECT_EQ(r.model[ctl::Pic].color, kLampWhite);  // red is not white
}

TEST(ExchangeTick, AnAnswerOverTheReadSizeIsJudgedPieceByPiece) {
    LinkRig r;
    r.open_link();
    r.tick("");  // the version request goes out
    r.model.set_text(ctl::MsgCom, "before");
    std::string long_answer = padded({0x3E, 0, 0xF0, 0x19, 0, 2, 0xE8, 3}, 299);
    long_answer[255] = 'x';  // the second piece starts with text, not with 0x3E
    r.tick(long_answer.substr(0, 255));
    EXPECT_EQ(r.model.text(ctl::MsgCom), kDamagedSensorAnswer);  // the first piece fails its check
    EXPECT_EQ(r.model.text(ctl::tek), "нет данных");
    r.tick(long_answer.substr(255));
    EXPECT_EQ(r.model.text(ctl::text_GSM), cp1251_to_utf8(long_answer.substr(255)));
    EXPECT_EQ(r.model.text(ctl::MsgCom), kNoIntactAnswer);
    EXPECT_TRUE(r.dialogs.messages.empty());
}

TEST(ExchangeTick, PageChangesToTrackerPagesReadTheConfigurationOnce) {
    LinkRig r;
    r.open_link();
    const Frame config_read = framed({0x3E, 0xCA, 0xA2, 0, 0, 0, 0, 0});
    for (int page : {1, 1, 2, 0, 0}) {
        r.model.set_tab(page);
        r.tick("");
    }
    // The sensor's version is asked once the sensor's page is shown.
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{config_read, kLiveRequest, config_read,
                                                       kVersionRequest, kReadingsRequest}));
    EXPECT_EQ(r.vars().last_tab, 0);
}

TEST(ExchangeTick, AddressChangeAsksTheNewSensorForItsVersion) {
    LinkRig r;
    r.open_link();
    r.model.set_items(ctl::CmbNet, {"0", "5"});
    r.model.set_selected(ctl::CmbNet, 1);
    r.vars().wrs = framed({0x31, 0, 0xF5});  // replaced
    r.tick("");
    EXPECT_EQ(r.port.writes, std::vector<std::string>{framed({0x31, 5, 0xFC})});
    EXPECT_EQ(r.vars().last_addr, 5);
    r.tick("");                                         // it stands for the link's own ask
    EXPECT_EQ(r.port.writes.back(), kReadingsRequest);  // the idle request carries address 1
}

TEST(ExchangeTick, CommandsQueuedDuringTheReadWaitForTheNextTickAndTheLastOneWins) {
    LinkRig r;
    r.open_link();
    r.reader.hold = true;
    r.port.reads = {framed({0x3E, 0, 0xF5})};
    r.app.exchange().start_tick();
    ASSERT_TRUE(r.reader.holding());
    EXPECT_TRUE(r.app.exchange().tick_in_progress());
    EXPECT_TRUE(r.port.calls.empty());  // nothing read or written yet

    // Two commands while the read is in flight: the second replaces the first.
    r.vars().wrs = framed({0x31, 0, 0xF5});
    r.vars().wrs = framed({0x31, 0, 0xFA});
    r.app.exchange().start_tick();  // a timer event in the meantime changes nothing
    r.reader.complete();
    EXPECT_EQ(r.port.writes, std::vector<std::string>{kVersionRequest});
    EXPECT_EQ(r.vars().wrs, framed({0x31, 0, 0xFA}));
    EXPECT_FALSE(r.app.exchange().tick_in_progress());

    r.reader.hold = false;
    r.tick("");
    EXPECT_EQ(r.port.writes.back(), framed({0x31, 0, 0xFA}));
    EXPECT_EQ(r.vars().wrs, "");
}

TEST(ExchangeTick, WriteFailureClosesTheLinkAndDropsTheFrame) {
    LinkRig r;
    r.open_link();
    r.port.write_limit = 2;
    r.model.set_text(ctl::MsgCom, "before");
    r.vars().wrs = framed({0x31, 0, 0xF5});
    r.dialogs.while_open = [&](const std::string&) {
        // The box shows before the link closes.
        EXPECT_TRUE(r.port.is_open());
    };
    r.tick(framed({0x3E, 0, 0xFA}));

    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Ошибка записи в порт"});
    EXPECT_EQ(r.port.calls, (Calls{"read", "write", "close", "close"}));
    EXPECT_FALSE(r.port.is_open());
    EXPECT_FALSE(r.model.timer_enabled(ctl::TMRComm));
    EXPECT_TRUE(r.model.timer_enabled(ctl::Timer1));
    EXPECT_EQ(r.vars().wrs, "");
    EXPECT_EQ(r.model.text(ctl::MsgCom), "");  // the answer read in that tick is not judged
    EXPECT_EQ(r.model[ctl::Pic].color, kLampYellow);
    EXPECT_FALSE(r.app.exchange().tick_in_progress());
}

TEST(ExchangeTick, NoTickRunsInsideATicksMessageBox) {
    LinkRig r;
    r.open_link();
    int nested_reads = -1;
    r.dialogs.while_open = [&](const std::string&) {
        const auto before = r.port.calls.size();
        EXPECT_TRUE(r.app.exchange().tick_in_progress());
        r.port.reads.push_back(framed({0x3E, 0, 0x98}));
        r.app.exchange().start_tick();
        r.app.exchange().start_tick();
        nested_reads = static_cast<int>(r.port.calls.size() - before);
    };
    r.tick(framed({0x3E, 0, 0x99}));
    EXPECT_EQ(nested_reads, 0);
    EXPECT_EQ(r.dialogs.messages.size(), 1u);

    // Once the box is closed the next tick runs as usual.
    r.dialogs.while_open = nullptr;
    r.app.exchange().start_tick();
    EXPECT_EQ(r.dialogs.messages.size(), 2u);
}

TEST(ExchangeTick, AnUnknownAnswerRepeatedGetsItsBoxOncePerLinkAndItsStatusEveryTime) {
    LinkRig r;
    r.open_link();
    for (int code : {0x99, 0x99, 0x98, 0x99}) {
        r.vars().wrs = kFullLevelRequest;
        r.tick(framed({0x3E, 0, code}));
        r.tick(framed({0x3E, 0, 0xF5}));
        EXPECT_EQ(r.model.text(ctl::MsgCom), " Установлен верхний уровень.");
        r.tick(framed({0x3E, 0, code}));
        EXPECT_EQ(r.model.text(ctl::MsgCom), " Непонятно что пришло! ");
    }
    EXPECT_EQ(r.dialogs.messages.size(), 2u);  // 0x99 and 0x98, once each

    r.app.connection().close_link();
    r.app.connection().open_link();
    r.tick(framed({0x3E, 0, 0x99}));
    EXPECT_EQ(r.dialogs.messages.size(), 3u);  // a new link: the box again
}

TEST(ExchangeTick, ADroppedCommandsNoticeOutlastsTheAnswersUntilTheUserActs) {
    LinkRig r;
    r.open_link();
    // While «Установить полный» asks, the link is closed and opened again.
    r.dialogs.while_asked = [&](const std::string&) {
        r.app.connection().close_link();
        r.app.connection().open_link();
    };
    r.dialogs.answers = {true};
    r.app.fire(ctl::hig);
    r.dialogs.while_asked = nullptr;
    // A tick every 500 ms, as the exchange timer runs them.
    using namespace std::chrono_literals;
    for (int i = 0; i * 500ms < Outbox::kNoticeTime; ++i) {
        r.clock.since_start = i * 500ms;
        r.tick(i % 2 ? framed({0x3E, 0, 0xF5}) : "");
        EXPECT_EQ(r.model.text(ctl::MsgCom), kCommandNotSent) << "tick " << i;
    }
    r.clock.since_start = Outbox::kNoticeTime;
    r.tick(framed({0x3E, 0, 0xF5}));  // to a readings request: refused, and said
    EXPECT_NE(r.model.text(ctl::MsgCom), kCommandNotSent);

    // The user's next action lets the answers speak again at once.
    r.dialogs.while_asked = [&](const std::string&) {
        r.app.connection().close_link();
        r.app.connection().open_link();
    };
    r.dialogs.answers = {true};
    r.app.fire(ctl::hig);
    r.dialogs.while_asked = nullptr;
    EXPECT_EQ(r.model.text(ctl::MsgCom), kCommandNotSent);
    r.app.fire(ctl::readdata);
    r.tick(framed({0x3E, 0, 0xFA}));
    EXPECT_EQ(r.model.text(ctl::MsgCom), " Установлен нижний уровень.");
}

// The controls that need newer firmware follow the sensor that is there: its version is asked
// once per link without any address change, and again only after a real silence.
TEST(ExchangeTick, TheSensorsVersionIsAskedOncePerLinkAndAfterASilence) {
    LinkRig r;
    r.open_link();
    const Frame version = framed({0x3E, 1, 0xFC, 0x92, 0x10, 0, 0, 163, 0});
    r.tick("");
    r.tick(version);
    EXPECT_TRUE(r.model.enabled(ctl::D_4096));
    EXPECT_EQ(r.model.text(ctl::sn), "4242");
    EXPECT_EQ(r.port.writes, (std::vector<std::string>{kVersionRequest, kReadingsRequest}));

    // A command without an answer (one silent tick) does not ask again; two seconds do.
    for (int silent : {1, 4}) {
        r.port.writes.clear();
        for (int i = 0; i < silent; ++i) r.tick("");
        r.tick(framed({0x3E, 0, 0xF5}));
        r.tick("");
        EXPECT_EQ(r.port.writes.back(), silent == 1 ? kReadingsRequest : kVersionRequest) << silent;
    }

    // A new link asks again; an old sensor leaves the controls disabled.
    r.app.connection().close_link();
    r.app.connection().open_link();
    r.port.writes.clear();
    r.tick("");
    r.tick(framed({0x3E, 1, 0xFC, 0x92, 0x10, 0, 0, 105, 0}));
    EXPECT_EQ(r.port.writes.front(), kVersionRequest);
    EXPECT_FALSE(r.model.enabled(ctl::D_4096));
}

TEST(ExchangeTick, CloseDuringAReadDropsItsResultAndReopenWorks) {
    LinkRig r;
    r.open_link();
    r.reader.hold = true;
    r.port.reads = {framed({0x3E, 0, 0xF5})};
    r.app.exchange().start_tick();
    r.app.connection().close_link();
    r.reader.complete();  // the woken read comes back after the close

    EXPECT_EQ(r.port.calls, (Calls{"close", "close", "read"}));  // nothing written
    EXPECT_EQ(r.model.text(ctl::MsgCom), "");
    EXPECT_EQ(r.model[ctl::Pic].color, kLampYellow);
    EXPECT_FALSE(r.app.exchange().tick_in_progress());

    r.reader.hold = false;
    r.app.connection().open_link();
    r.port.calls.clear();
    r.tick(framed({0x3E, 0, 0xFA}));
    EXPECT_EQ(r.port.calls, (Calls{"read", "write", "flush"}));
    EXPECT_EQ(r.model.text(ctl::MsgCom), " Установлен нижний уровень.");
}

}  // namespace
}  // namespace velkon
