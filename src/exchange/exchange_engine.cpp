// The frame a tick sends is taken out of the outbox before the read starts, so a command queued
// while the read is in flight waits for the next tick instead of being lost or sent in the
// middle of a tick that has already been judged.
#include "exchange/exchange_engine.h"

#include <optional>
#include <string>
#include <string_view>

#include "protocol/cp1251.h"
#include "protocol/monitor.h"
#include "sensor/sensor_commands.h"

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
// A refusal: the status text to show ("" leaves the status line alone), or nothing when the
// answer is taken.
using Refusal = std::optional<std::string_view>;

Refusal refuse_readings(const Frame& answer) {
    constexpr std::size_t kReadingsMin = 21;
    if (answer.size() >= kReadingsMin && check_byte_matches(answer)) return std::nullopt;
    return kDamagedSensorAnswer;
}

// The unit's answers feed what «Установить» writes back and the serial-number records: a
// damaged one is never shown.
Refusal refuse_damaged_unit_answer(const Frame& answer) {
    if (check_byte_matches(answer)) return std::nullopt;
    return kDamagedUnitAnswer;
}

// A configuration is shown whole or not at all: a cut answer would mix this read's fields with
// those of an earlier one, possibly of another unit.
Refusal refuse_configuration(const Frame& answer) {
    if (answer.size() < kConfigAnswerSize + 1) return kConfigurationCut;
    if (!check_byte_matches(answer)) return kConfigurationDamaged;
    return std::nullopt;
}

using Parts = ExchangeEngine::Parts;

template <void (SensorAnswers::*Show)(const Frame&)>
void to_sensor(Parts& parts, const Frame& answer) {
    (parts.sensor.*Show)(answer);
}

template <void (Tracker::*Show)(const Frame&)>
void to_tracker(Parts& parts, const Frame& answer) {
    (parts.tracker.*Show)(answer);
}

void show_mode_answer(Parts& parts, const Frame& answer) {
    parts.sensor.show_modes(byte_at(answer, 3));
}

// One row of the answer dispatch, tested in table order; the first row whose code matches wins.
struct AnswerRow {
    std::uint8_t code;
    std::string_view status;                // into MsgCom; empty: MsgCom is left alone
    void (*handler)(Parts&, const Frame&);  // nullptr: text only
    bool handler_first;                     // the handler runs before the status is set
    std::string_view message;               // an OK box after the status; empty: none
    Refusal (*refuse)(const Frame&);        // nullptr: every answer with the code is taken
};

// clang-format off
constexpr AnswerRow kAnswerTable[] = {
    {0xFC, "",                              &to_sensor<&SensorAnswers::show_version>, false, "", nullptr},
    {0xF0, "Получены данные.",              &to_sensor<&SensorAnswers::show_readings>, true,  "", &refuse_readings},
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
    {0xA2, "Чтение",                        &to_tracker<&Tracker::show_configuration>, false, "", &refuse_configuration},
    {0xA1, "Управление",                    nullptr,                        false, "", nullptr},
    {0xA3, "Конфига вроде записана",        &to_tracker<&Tracker::acknowledge_write>, false, "", nullptr},
    // The status follows the handler, so it stands whatever the handler shows.
    {0xA7, "Считаны IMEI",                  &to_tracker<&Tracker::show_imei>, true,  "", &refuse_damaged_unit_answer},
    {0xA0, "Получены данные",               &to_tracker<&Tracker::show_live_data>, false, "", &refuse_damaged_unit_answer},
};
// clang-format on

constexpr std::string_view kUnknownStatus = " Непонятно что пришло! ";
constexpr std::string_view kUnknownMessage = "Ответ не соответствует запросу";
constexpr std::string_view kWriteFailure = "Ошибка записи в порт";
constexpr std::string_view kSilence = "Датчик не отвечает";

constexpr std::string_view kNotRead = "NOT READ";
constexpr int kSwapSilence = 4;  // ticks: 2 s

// At every exit of the tick's second half: clears the in-progress flag and keeps a held notice
// in the status line.
class TickEnd {
  public:
    TickEnd(bool& busy, Outbox& outbox) : busy_(busy), outbox_(outbox) {}
    ~TickEnd() {
        busy_ = false;
        outbox_.hold_notice();
    }
    TickEnd(const TickEnd&) = delete;
    TickEnd& operator=(const TickEnd&) = delete;

  private:
    bool& busy_;
    Outbox& outbox_;
};

}  // namespace

void ExchangeEngine::start_tick() {
    if (busy_) return;
    FormVars& v = m_.vars;

    if (outbox_.link() != version_link_) {
        version_link_ = outbox_.link();
        version_due_ = true;
        silent_ticks_ = 0;
    }
    // 1. Address change: ask the newly selected sensor for its version and serial number (which
    // stands for the link's own ask below).
    if (const auto address = selected_sensor_address(m_); address && *address != v.last_addr) {
        outbox_.put(version_request(m_));
        v.last_addr = *address;
        version_due_ = false;
    }
    // 2. Tab change: a tracker page reads the configuration (asking first when that would
    // replace fields changed and not written). No tick runs inside the question.
    if (const int tab = m_.tab(); tab != v.last_tab) {
        v.last_tab = tab;
        if (tab == 1 || tab == 2) {
            const std::uint64_t link = outbox_.link();
            busy_ = true;
            parts_.tracker.reread_configuration();
            busy_ = false;
            if (outbox_.link() != link) return;
        }
    }
    // 3. Idle request: the sensor's readings (always address 1) or the tracker's live data.
    // On the sensor's page, once per link and again when the sensor answers after a silence,
    // the sensor is first asked for its version, so the controls that need newer firmware
    // follow the sensor that is actually there. It goes to the readings' address: the version
    // belongs to the sensor whose readings are shown, and a request to 0 would have every
    // sensor on a bus answer at once.
    if (outbox_.pending().empty() && m_.selected_item(ctl::CmbNet)) {
        if (version_due_ && m_.tab() == 0) {
            outbox_.put(sensor_version_request());
            version_due_ = false;
        } else {
            outbox_.put(m_.tab() == 0 ? readings_request() : live_data_request());
        }
    }
    // 4. Request echo.
    m_.set_text(ctl::strText, request_echo(outbox_.pending()));

    request_ = outbox_.take();
    busy_ = true;
    const std::uint64_t link = outbox_.link();
    // 5, 6. Read, then send; the rest of the tick runs on the window's thread once both are done.
    port_io_.exchange(
        port_, request_, [this, link] { return outbox_.link() == link; },
        [this, link](TickIo io) { finish_tick(link, std::move(io)); });
}

void ExchangeEngine::finish_tick(std::uint64_t link, TickIo io) {
    TickEnd tick_end(busy_, outbox_);
    // The link was closed while the read was in flight: its result belongs to no one.
    if (link != outbox_.link()) {
        request_.clear();
        return;
    }
    FormVars& v = m_.vars;
    const Frame sent = std::move(request_);
    request_.clear();

    const std::string& received = io.received;
    // 6. The send's outcome.
    if (!io.written) {
        dialogs_.message(std::string(kWriteFailure));
        parts_.connection.close_link();
        outbox_.clear();
        return;
    }
    // 7. The lamp blinks with every request.
    m_.set_color(ctl::Pic, m_[ctl::Pic].color == kLampWhite ? kLampGrey : kLampWhite);

    // What this read answers is the frame the previous tick sent on this link; an adapter that
    // echoes hands that frame back first.
    const std::string_view previous =
        answered_link_ == link ? std::string_view(answered_) : std::string_view();
    const Frame answer(after_echo(received, previous));
    answered_ = sent;
    answered_link_ = link;

    // 8. Silence (a read that holds only the echo is silence too).
    if (answer.empty()) {
        if (!v.no_data) v.last_msg = m_.text(ctl::MsgCom);
        v.no_data = true;
        ++silent_ticks_;
        m_.set_text(ctl::MsgCom, std::string(kSilence));
        m_.set_text(ctl::imei, std::string(kNotRead));
        m_.set_text(ctl::nsim, std::string(kNotRead));
        return;
    }
    // 9. Recovery. A sensor that answers after a silence may be another one.
    if (v.no_data) {
        m_.set_text(ctl::MsgCom, v.last_msg);
        v.no_data = false;
        // One tick without an answer is a command that gets none (ignition calibration); a
        // longer silence may have been a sensor swapped.
        if (m_.tab() == 0 && silent_ticks_ >= kSwapSilence) version_due_ = true;
    }
    silent_ticks_ = 0;
    // 10, 11. Answer echo (it carries the check byte computed over all but the last byte).
    m_.set_text(ctl::txtRec, answer_echo(sent, received));

    // 12. Dispatch.
    judge_answer(answer);
    // 13.
    m_.set_color(ctl::Pic, kLampRed);
    port_io_.flush(port_);
}

// Bytes that are no frame (modem text, a device at another speed, noise) still go to the text
// box, and the status line says that no answer came: the values on the page are not current.
void ExchangeEngine::judge_answer(const Frame& answer) {
    if (byte_at(answer, 0) != kAnswerPrefix) {
        m_.set_text(ctl::text_GSM, cp1251_to_utf8(answer));
        m_.set_text(ctl::MsgCom, std::string(kNoIntactAnswer));
        return;
    }
    if (answer.size() < kMinAnswerFrame) {
        m_.set_text(ctl::MsgCom, std::string(kNoIntactAnswer));
        return;
    }
    dispatch_answer(answer);
}

void ExchangeEngine::show_unknown_answer(std::uint8_t code) {
    m_.set_text(ctl::MsgCom, std::string(kUnknownStatus));
    if (unknown_link_ != outbox_.link()) {
        unknown_link_ = outbox_.link();
        unknown_shown_.reset();
    }
    if (unknown_shown_.test(code)) return;
    unknown_shown_.set(code);
    dialogs_.message(std::string(kUnknownMessage));
}

void ExchangeEngine::dispatch_answer(const Frame& answer) {
    const std::uint8_t code = byte_at(answer, 2);
    for (const AnswerRow& row : kAnswerTable) {
        if (row.code != code) continue;
        if (const Refusal refusal = row.refuse ? row.refuse(answer) : std::nullopt) {
            if (!refusal->empty()) m_.set_text(ctl::MsgCom, std::string(*refusal));
            return;
        }
        if (row.handler && row.handler_first) row.handler(parts_, answer);
        if (!row.status.empty()) m_.set_text(ctl::MsgCom, std::string(row.status));
        if (row.handler && !row.handler_first) row.handler(parts_, answer);
        if (!row.message.empty()) dialogs_.message(std::string(row.message));
        return;
    }
    show_unknown_answer(code);
}

}  // namespace velkon
