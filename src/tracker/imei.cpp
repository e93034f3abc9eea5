// The unit's IMEI and SIM number (answer code 0xA7) and the serial-number binding record.
#include "protocol/cp1251.h"
#include "tracker/tracker.h"

namespace velkon {

namespace {

// Positions of the two texts in the answer, counted from 0.
constexpr std::size_t kImeiAt = 3, kImeiWidth = 15;
constexpr std::size_t kSimAt = 19, kSimWidth = 20;

// A binding needs what a real read shows; "NOT READ" and cut answers are shorter.
constexpr std::size_t kSimMinChars = 19, kImeiMinChars = 14;

// The bytes of a field, as many as the answer holds.
std::string field_text(std::string_view answer, std::size_t at, std::size_t width) {
    if (answer.size() <= at) return {};
    return cp1251_to_utf8(answer.substr(at, width));
}

// Characters, not bytes: a label's text is UTF-8.
std::size_t char_count(std::string_view utf8) {
    std::size_t count = 0;
    for (char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

}  // namespace

Frame imei_request() {
    return make_frame({kAnswerPrefix, kUnitAddress, code::kImei});
}

void Tracker::read_imei() {
    outbox_.put_and_echo(imei_request());
}

ImeiAnswer decode_imei_answer(std::string_view answer) {
    return {field_text(answer, kImeiAt, kImeiWidth), field_text(answer, kSimAt, kSimWidth)};
}

void Tracker::show_imei(const Frame& answer) {
    ImeiAnswer fields = decode_imei_answer(answer);
    m_.set_text(ctl::imei, std::move(fields.imei));
    m_.set_text(ctl::nsim, std::move(fields.sim));
    m_.set_text(ctl::MsgCom, "Считаны IMEI");
}

void Tracker::bind_serial_number() {
    m_.set_text(ctl::ns, dialogs_.input("Введите серийный номер", "Ввод серийного номера", "0"));
    const std::string serial = m_.text(ctl::ns);
    if (serial.empty()) return;
    const std::string& sim = m_.text(ctl::nsim);
    const std::string& imei = m_.text(ctl::imei);
    // The message starts with a Latin C, kept exactly as users have always seen it.
    if (char_count(sim) < kSimMinChars || char_count(imei) < kImeiMinChars) {
        dialogs_.message("Cчитайте IMEI!");
        return;
    }
    day_file_.append_binding(serial, sim, imei);
}

}  // namespace velkon
