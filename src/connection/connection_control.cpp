// Connection control: the port scan while no port is open, the open button and the close button.
#include "connection/connection_control.h"

#include <string>
#include <vector>

#include "connection_help/connection_help.h"

namespace velkon {

namespace {

constexpr const char* kNoPortEntry = "----";

// Appends `addition` (one line) and then drops the oldest whole lines until the text fits
// `limit`: the scan adds a line every 100 ms for as long as no port is open. A newest line that
// alone exceeds the limit is kept whole rather than cut in the middle of a character.
std::string append_capped(std::string text, const std::string& addition, std::size_t limit) {
    text += addition;
    if (text.size() <= limit) return text;
    const std::size_t excess = text.size() - limit;
    const std::size_t line_end = text.find("\r\n", excess >= 2 ? excess - 2 : 0);
    if (line_end == std::string::npos || line_end + 2 >= text.size()) return addition;
    return text.substr(line_end + 2);
}

// Which entry stays selected after the list is refilled: the same position when it still
// exists, else the last entry; entry 0 when nothing was selected.
int following_selection(int remembered, int count) {
    if (remembered < 0) return 0;
    return remembered <= count - 1 ? remembered : count - 1;
}

}  // namespace

void ConnectionControl::scan_ports() {
    // With no port open (the only state in which the scan runs) both do nothing.
    port_.ClosePort();
    port_.FlushPort();

    const std::vector<PortEntry> found = ports_.list();
    std::string line;
    std::vector<std::string> names;
    names.reserve(found.size());
    for (const PortEntry& entry : found) {
        line += entry.name + ", ";
        names.push_back(entry.name);
    }
    line += "\r\n";
    m_.set_text(ctl::txtRec, append_capped(m_.text(ctl::txtRec), line, kTxtRecLimit));

    if (names.empty()) {
        m_.set_items(ctl::CmbPort, {kNoPortEntry});
        m_.set_selected(ctl::CmbPort, 0);
    } else {
        // The list is replaced in one step so that an unchanged scan does not disturb the widget.
        const int remembered = m_.selected(ctl::CmbPort);
        const int count = static_cast<int>(names.size());
        m_.set_items(ctl::CmbPort, std::move(names));
        m_.set_selected(ctl::CmbPort, following_selection(remembered, count));
    }

    // While scanning, the status line is free, once a dropped command's notice has had its
    // time: it tells how to get a port that will open.
    if (outbox_.hold_notice()) return;
    const StatusHint hint = ConnectionHelp(ports_).scan_hint(found, m_.selected(ctl::CmbPort));
    if (m_.text(ctl::MsgCom) != hint.status) m_.set_text(ctl::MsgCom, hint.status);
    if (m_[ctl::MsgCom].tooltip != hint.detail) m_.set_tooltip(ctl::MsgCom, hint.detail);
}

void ConnectionControl::open_link() {
    const std::string entry = m_.selected_item(ctl::CmbPort).value_or(m_.text(ctl::CmbPort));
    if (const auto question = ConnectionHelp(ports_).open_question(entry)) {
        if (!dialogs_.yes_no(*question)) return;
    }
    m_.set_timer_enabled(ctl::Timer1, false);

    const std::string path = device_path_for(entry);
    if (!port_.OpenPort(path, kDeviceLine)) {
        const OpenError& error = port_.last_open_error();
        if (!error.config_message.empty()) dialogs_.message(error.config_message);
        std::string text = "Com Port " + entry + " недоступен. Установите нужный порт.";
        if (error.failure != OpenFailure::Configuration) {
            const std::string reason = describe_open_error(error, path);
            if (!reason.empty()) text += "\n" + reason;
        }
        dialogs_.message(text, Dialogs::Icon::Exclamation);
        // The scan resumes once the box is gone: an adapter plugged in after a failed attempt
        // (even after one on "----") must show without a restart. The selection keeps its place.
        m_.set_timer_enabled(ctl::Timer1, true);
        return;
    }
    outbox_.next_link();
    m_.set_text(ctl::MsgCom, "");
    m_.set_tooltip(ctl::MsgCom, "");
    m_.toggle_tags_8_to_129();
    m_.set_timer_enabled(ctl::TMRComm, true);
    m_.set_enabled(ctl::BTNOpenCom, false);
}

void ConnectionControl::advise_at_start() {
    if (const auto notice = ConnectionHelp(ports_).start_notice()) {
        dialogs_.message(*notice, Dialogs::Icon::Exclamation);
    }
}

void ConnectionControl::close_link() {
    // A tick in flight belongs to the link being closed: its result is dropped, and so is a
    // command still pending, which was meant for this device and no other.
    outbox_.next_link();
    outbox_.clear();

    m_.set_timer_enabled(ctl::TMRComm, false);
    m_.set_timer_enabled(ctl::Timer1, true);
    port_.ClosePort();
    m_.disable_tags_above_7();
    m_.set_enabled(ctl::BTNOpenCom, true);

    m_.clear_items(ctl::CmbNet);
    m_.add_item(ctl::CmbNet, "0");
    m_.set_selected(ctl::CmbNet, 0);

    m_.set_text(ctl::sn, "0");
    m_.set_text(ctl::vv, "--------");
    for (ControlName label : {ctl::tek, ctl::temp, ctl::uroven, ctl::lo, ctl::hi, ctl::ne}) {
        m_.set_text(label, "Нет данных");
    }
    m_.set_value(ctl::ProgressBar1, 0);

    m_.set_text(ctl::MsgCom, "");
    m_.set_text(ctl::netdev, "Устройства не определены");
    m_.set_color(ctl::Pic, kLampYellow);

    port_.ClosePort();
    m_.disable_tags_above_7();
}

}  // namespace velkon
