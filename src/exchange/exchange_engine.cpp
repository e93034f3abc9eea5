// The frame a tick sends is taken out of the outbox before the read starts, so a command queued
// while the read is in flight waits for the next tick instead of being lost or sent in the
// middle of a tick that has already been judged.
#include "exchange/exchange_engine.h"

#include <optional>
#include <string>
#include <string_view>

#include "protocol/answer.h"
#include "protocol/codes.h"
#include "protocol/cp1251.h"
#include "protocol/monitor.h"
#include "sensor/sensor_commands.h"

namespace velkon {

namespace {

constexpr std::string_view kSkippedBytes = "Пропущено посторонних байт перед ответом: ";

bool is_configuration_read(std::string_view request) {
    return request == configuration_read_request();
}

using Parts = ExchangeEngine::Parts;

template <void (SensorAnswers::*Show)(const Frame&)>
void to_sensor(Parts& parts, const Frame& answer, std::string_view) {
    (parts.sensor.*Show)(answer);
}

template <void (Tracker::*Show)(const Frame&)>
void to_tracker(Parts& parts, const Frame& answer, std::string_view) {
    (parts.tracker.*Show)(answer);
}

// An acknowledgement confirms the write it answers, not whichever write was queued last.
void acknowledge_write(Parts& parts, const Frame&, std::string_view request) {
    parts.tracker.acknowledge_write(request);
}

void show_mode_answer(Parts& parts, const Frame& answer, std::string_view) {
    parts.sensor.show_modes(byte_at(answer, 3));
}

// One row of the answer dispatch, tested in table order; the first row whose code matches wins.
struct AnswerRow {
    std::uint8_t code;
    std::string_view status;  // into MsgCom; empty: MsgCom is left alone
    // The answer and the request it answers; nullptr: text only.
    void (*handler)(Parts&, const Frame&, std::string_view);
    bool handler_first;        // the handler runs before the status is set
    std::string_view message;  // an OK box after the status; empty: none
};

// clang-format off
constexpr AnswerRow kAnswerTable[] = {
    {code::kVersion,        "",                                &to_sensor<&SensorAnswers::show_version>, false, ""},
    {code::kReadings,       "Получены данные.",                &to_sensor<&SensorAnswers::show_readings>, true,  ""},
    {code::kCalibrateEmpty, " Установлен нижний уровень.",     nullptr,                        false, ""},
    {code::kSetMode,        " Установлен новый режим.",        &show_mode_answer,              false, ""},
    {code::kCalibrateFull,  " Установлен верхний уровень.",    nullptr,                        false, ""},
    {code::kSetAddress,     " Установлен сетевой номер.",      nullptr,                        false, ""},
    {code::kSetSerial,      "Установлен серийный номер.",      nullptr,                        false, ""},
    {code::kShiftEmpty,     "Сдвинут нижний уровень.",         nullptr,                        false, ""},
    {code::kShiftFull,      "Сдвинут верхний уровень.",        nullptr,                        false, ""},
    {code::kEnterPassword,  "Пароль принят.",                  nullptr,                        false, ""},
    {code::kWrongPassword,  "Неверный пароль.",                nullptr,                        false, "Неверный пароль"},
    {code::kChangePassword, "Пароль изменен.",                 nullptr,                        false, ""},
    {code::kPasswordNote,   "Пар.",                            nullptr,                        false, ""},
    {code::kConfigRead,     "Чтение",                          &to_tracker<&Tracker::show_configuration>, false, ""},
    {code::kControl,        "Управление",                      nullptr,                        false, ""},
    {code::kConfigWrite,    "Конфига вроде записана",          &acknowledge_write,               false, ""},
    // The status follows the handler, so it stands whatever the handler shows.
    {code::kImei,           "Считаны IMEI",                    &to_tracker<&Tracker::show_imei>, true,  ""},
    {code::kLiveData,       "Получены данные",                 &to_tracker<&Tracker::show_live_data>, false, ""},
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

namespace {

// The status of a read that held no whole answer: it names what was not received.
std::string_view not_intact_status(std::string_view request, const JudgedRead& read) {
    if (is_configuration_read(request)) {
        // The record's start came, its end did not.
        const bool cut = read.rest.size() >= 3 && read.rest.size() < kConfigAnswerFrame &&
                         byte_at(read.rest, 0) == kAnswerPrefix &&
                         byte_at(read.rest, 2) == byte_at(request, 2);
        return cut ? kConfigurationCut : kConfigurationDamaged;
    }
    if (request.empty()) return kNoIntactAnswer;
    return byte_at(request, 0) == kAnswerPrefix ? kDamagedUnitAnswer : kDamagedSensorAnswer;
}

}  // namespace

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

    // What this read answers is the frame the previous tick sent on this link; adapters hand
    // that frame, and the ones before it, back in front of the answer.
    if (answered_link_ != link) {
        sent_.clear();
        answered_link_ = link;
    }
    const Frame answered(sent_.newest());
    const JudgedRead read = judge_read(received, sent_.newest_first(), expected_answers(answered));
    sent_.add(sent);

    // 8. Silence (a read that holds only echoes is silence too).
    if (read.verdict == ReadVerdict::Silence) {
        if (!v.no_data) v.last_msg = m_.text(ctl::MsgCom);
        v.no_data = true;
        ++silent_ticks_;
        m_.set_text(ctl::MsgCom, std::string(kSilence));
        m_.set_text(ctl::imei, std::string(kNotRead));
        m_.set_text(ctl::nsim, std::string(kNotRead));
        if (is_configuration_read(answered)) parts_.tracker.configuration_not_read();
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
    std::string echo = answer_echo(sent, received);
    if (read.skipped > 0)
        echo += "\r\n" + std::string(kSkippedBytes) + std::to_string(read.skipped);
    m_.set_text(ctl::txtRec, std::move(echo));

    // 12. Dispatch.
    judge_answer(read, answered);
    // 13.
    m_.set_color(ctl::Pic, kLampRed);
    port_io_.flush(port_);
}

// Only a whole answer of a kind that answers the request is shown. Bytes that are no frame
// (modem text, a device at another speed, noise) still go to the text box, and the status line
// says that no answer came: the values on the page are not current.
void ExchangeEngine::judge_answer(const JudgedRead& read, std::string_view answered) {
    if (read.verdict == ReadVerdict::Answer) {
        dispatch_answer(Frame(read.frame), answered);
        return;
    }
    if (is_configuration_read(answered)) parts_.tracker.configuration_not_read();
    switch (read.verdict) {
        case ReadVerdict::NotAFrame:
            m_.set_text(ctl::text_GSM, cp1251_to_utf8(read.rest));
            m_.set_text(ctl::MsgCom, std::string(kNoIntactAnswer));
            return;
        case ReadVerdict::Unknown:
            show_unknown_answer(read.code);
            return;
        case ReadVerdict::Unexpected:
            m_.set_text(ctl::MsgCom,
                        std::string(kUnexpectedAnswer) + hex_pairs(read.frame.substr(2, 1)) + ").");
            return;
        default:
            m_.set_text(ctl::MsgCom, std::string(not_intact_status(answered, read)));
            return;
    }
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

void ExchangeEngine::dispatch_answer(const Frame& answer, std::string_view request) {
    const std::uint8_t code = byte_at(answer, 2);
    for (const AnswerRow& row : kAnswerTable) {
        if (row.code != code) continue;
        if (row.handler && row.handler_first) row.handler(parts_, answer, request);
        if (!row.status.empty()) m_.set_text(ctl::MsgCom, std::string(row.status));
        if (row.handler && !row.handler_first) row.handler(parts_, answer, request);
        if (!row.message.empty()) dialogs_.message(std::string(row.message));
        return;
    }
    show_unknown_answer(code);
}

}  // namespace velkon
