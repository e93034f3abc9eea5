// The exchange tick: one request out and one answer judged every 500 ms.
//
// The tick is split around its read so that the window's thread never waits for the line:
// TMRComm_Timer does everything up to the read and hands the read to the ReadRunner; the runner
// calls finish_tick on the window's thread with what came, and finish_tick sends the pending
// request and judges the answer. Seen from the port and the window the order is the same as one
// uninterrupted tick: echo, read, write, lamp, judge, flush.
//
// The frame a tick sends is taken out of `wrs` before the read starts, so a command queued while
// the read is in flight stays in `wrs` for the next tick instead of being lost or sent in the
// middle of a tick that has already been judged. While a tick is in progress (its read in flight,
// or one of its own message boxes open) further timer events are ignored: no re-entry.
#include <optional>
#include <string>
#include <string_view>

#include "app/form.h"
#include "protocol/cp1251.h"
#include "protocol/monitor.h"
#include "protocol/number.h"

namespace velkon {

namespace {

constexpr std::uint8_t kAnswerPrefix = 0x3E;
constexpr std::size_t kMinAnswerFrame = 4;  // prefix, address, code and at least one more byte

// The last byte of the answer equals the check byte over the bytes before it.
bool check_byte_matches(const Frame& answer) {
    if (answer.empty()) return false;
    const std::string_view body(answer.data(), answer.size() - 1);
    return check_byte(body) == byte_at(answer, answer.size() - 1);
}

// A readings answer is shown only when intact and long enough for every field it carries: a
// shorter one, even with a good check byte, is refused like a damaged one.
bool readings_acceptable(const Frame& answer) {
    constexpr std::size_t kReadingsMin = 21;
    return answer.size() >= kReadingsMin && check_byte_matches(answer);
}

void show_mode_answer(Form& form, const Frame& answer) {
    form.Out_modes(byte_at(answer, 3));
}

// One row of the answer dispatch, tested in table order; the first row whose code matches wins.
struct AnswerRow {
    std::uint8_t code;
    std::string_view status;               // into MsgCom; empty: MsgCom is left alone
    void (*handler)(Form&, const Frame&);  // nullptr: text only
    bool handler_first;                    // the handler runs before the status is set
    std::string_view message;              // an OK box after the status; empty: none
    bool (*accept)(const Frame&);          // nullptr: every answer with the code is taken
};

template <void (Form::*Method)(const Frame&)>
void call(Form& form, const Frame& answer) {
    (form.*Method)(answer);
}

// clang-format off
constexpr AnswerRow kAnswerTable[] = {
    {0xFC, "",                              &call<&Form::assept_sn>,        false, "", nullptr},
    {0xF0, "Получены данные.",              &call<&Form::all_data_to_form>, true,  "", &readings_acceptable},
    {0xFA, " Установлен нижний уровень.",   nullptr,                        false, "", nullptr},
    {0xF2, " Установлен новый режим.",      &show_mode_answer,              false, "", nullptr},
    {0xF5, " Установлен верхний уровень.",  nullptr,                        false, "", nullptr},
    {0xFB, " Установлен сетевой номер.",    nullptr,                        false, "", nullptr},
    {0xA4, "Установлен серийный номер.",    nullptr,                        false, "", nullptr},
    {0xF9, "Сдвинут нижний уровень.",       nullptr,                        false, "", nullptr},
    {0xF4, "Сдвинут верхний уровень.",      nullptr,                        false, "", nullptr},
    {0xF8, "Пароль принят.",                nullptr,                        false, "", nullptr},
    {0xFD, "Неверный пароль.",              nullptr,                        false, "Неверный пароль", nullptr},
    {0xF7, "Пароль изменен.",               nullptr,                        false, "", nullptr},
    {0x06, "Пар.",                          nullptr,                        false, "", nullptr},
    {0xA2, "Чтение",                        &call<&Form::config_to_form>,   false, "", nullptr},
    {0xA1, "Управление",                    nullptr,                        false, "", nullptr},
    {0xA3, "Конфига вроде записана",        nullptr,                        false, "", nullptr},
    // The status follows the handler, so it stands whatever the handler shows.
    {0xA7, "Считаны IMEI",                  &call<&Form::imei_to_form>,     true,  "", nullptr},
    {0xA0, "Получены данные",               &call<&Form::live_to_form>,     false, "", nullptr},
};
// clang-format on

constexpr std::string_view kUnknownStatus = " Непонятно что пришло! ";
constexpr std::string_view kUnknownMessage = "Ответ не соответствует запросу";
constexpr std::string_view kWriteFailure = "Ошибка записи в порт";
constexpr std::string_view kSilence = "Датчик не отвечает";
constexpr std::string_view kNotRead = "NOT READ";

// Clears the in-progress flag at every exit of the tick's second half.
class TickEnd {
  public:
    explicit TickEnd(bool& busy) : busy_(busy) {}
    ~TickEnd() { busy_ = false; }
    TickEnd(const TickEnd&) = delete;
    TickEnd& operator=(const TickEnd&) = delete;

  private:
    bool& busy_;
};

}  // namespace

std::uint8_t Form::out_win(const Frame& frame) {
    m_.set_text("txtRec", request_echo(frame));
    return 0;
}

void Form::TMRComm_Timer() {
    if (tick_busy_) return;
    FormVars& v = m_.vars;

    // 1. Address change: ask the newly selected sensor for its version and serial number.
    if (const auto address = selected_address(); address && *address != v.last_addr) {
        v.wrs = Zapros_ser_num();
        v.last_addr = *address;
    }
    // 2. Tab change: a tracker page reads the configuration.
    if (const int tab = m_.tab(); tab != v.last_tab) {
        v.last_tab = tab;
        if (tab == 1 || tab == 2) readdata_Click();
    }
    // 3. Idle request: the sensor's readings (always address 1) or the tracker's live data.
    if (v.wrs.empty() && m_.selected_item("CmbNet")) {
        v.wrs = m_.tab() == 0 ? make_frame({0x31, 0x01, 0xF0}) : make_frame({0x3E, 0xCA, 0xA0});
    }
    // 4. Request echo.
    m_.set_text("strText", request_echo(v.wrs));

    tick_request_ = std::move(v.wrs);
    v.wrs.clear();
    tick_busy_ = true;
    const std::uint64_t generation = link_generation_;
    // 5. Read; the rest of the tick runs when the read comes back.
    s_.reader.read(s_.port, [this, generation](std::string received) {
        finish_tick(generation, std::move(received));
    });
}

void Form::finish_tick(std::uint64_t generation, std::string received) {
    TickEnd tick_end(tick_busy_);
    // The link was closed while the read was in flight: its result belongs to no one.
    if (generation != link_generation_) {
        tick_request_.clear();
        return;
    }
    FormVars& v = m_.vars;
    const Frame sent = std::move(tick_request_);
    tick_request_.clear();

    // 6. Send.
    if (!sent.empty() && s_.port.WritePort(sent) != static_cast<int>(sent.size())) {
        s_.dialogs.message(std::string(kWriteFailure));
        BTNCloseCom_Click();
        v.wrs.clear();
        return;
    }
    // 7. The lamp blinks with every request.
    m_.set_color("Pic", m_["Pic"].color == kLampWhite ? kLampGrey : kLampWhite);

    // 8. Silence.
    if (received.empty()) {
        if (!v.no_data) v.last_msg = m_.text("MsgCom");
        v.no_data = true;
        m_.set_text("MsgCom", std::string(kSilence));
        m_.set_text("imei", std::string(kNotRead));
        m_.set_text("nsim", std::string(kNotRead));
        return;
    }
    // 9. Recovery.
    if (v.no_data) {
        m_.set_text("MsgCom", v.last_msg);
        v.no_data = false;
    }
    // 10, 11. Answer echo (it carries the check byte computed over all but the last byte).
    m_.set_text("txtRec", answer_echo(sent, received));

    // 12. Dispatch.
    if (byte_at(received, 0) == kAnswerPrefix) {
        if (received.size() >= kMinAnswerFrame) dispatch_answer(received);
    } else {
        m_.set_text("text_GSM", cp1251_to_utf8(received));
    }
    // 13.
    m_.set_color("Pic", kLampRed);
    s_.reader.flush(s_.port);
}

void Form::dispatch_answer(const Frame& answer) {
    const std::uint8_t code = byte_at(answer, 2);
    for (const AnswerRow& row : kAnswerTable) {
        if (row.code != code) continue;
        if (row.accept && !row.accept(answer)) return;
        if (row.handler && row.handler_first) row.handler(*this, answer);
        if (!row.status.empty()) m_.set_text("MsgCom", std::string(row.status));
        if (row.handler && !row.handler_first) row.handler(*this, answer);
        if (!row.message.empty()) s_.dialogs.message(std::string(row.message));
        return;
    }
    m_.set_text("MsgCom", std::string(kUnknownStatus));
    s_.dialogs.message(std::string(kUnknownMessage));
}

}  // namespace velkon
