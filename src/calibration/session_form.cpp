#include "calibration/session_form.h"

namespace velkon::calibration {

namespace {

bool blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

}  // namespace

FormReading read_form(const SessionForm& form) {
    FormReading out;
    const auto portion = parse_number(form.portion);
    if (!portion) {
        out.error = "Введите порцию в литрах, например 20.";
        return out;
    }
    out.info.portion = *portion;
    // A session starts by pouring; a drain is typed as a portion once the session runs.
    if (!(*portion > 0.0)) {
        out.error = "Порция должна быть больше нуля и не больше 1000000 л.";
        return out;
    }
    if (!blank(form.tank)) {
        out.info.tank_volume = parse_number(form.tank);
        if (!out.info.tank_volume) {
            out.error = "Введите объём бака в литрах или оставьте поле пустым.";
            return out;
        }
    }
    if (!blank(form.start_volume)) {
        const auto start = parse_number(form.start_volume);
        if (!start) {
            out.error = "Введите начальный объём в литрах, например 0.";
            return out;
        }
        out.info.start_volume = *start;
    }
    out.info.rule = {form.settle_seconds, form.settle_band};
    out.info.vehicle = form.vehicle;
    out.info.installer = form.installer;
    out.info.notes = form.notes;
    out.error = check_info(out.info);
    return out;
}

SessionForm form_of(const SessionInfo& info, char decimal) {
    SessionForm form;
    form.portion = format_number(info.portion, decimal);
    form.tank = info.tank_volume ? format_number(*info.tank_volume, decimal) : std::string();
    form.start_volume = format_number(info.start_volume, decimal);
    form.settle_seconds = info.rule.seconds;
    form.settle_band = info.rule.band;
    form.vehicle = info.vehicle;
    form.installer = info.installer;
    form.notes = info.notes;
    return form;
}

PortionReading read_portion(const std::string& text) {
    PortionReading out;
    out.portion = parse_number(text);
    if (!out.portion) {
        out.error = "Введите порцию в литрах, например 20.";
        return out;
    }
    SessionInfo probe;
    probe.portion = *out.portion;
    if (auto why = check_info(probe)) {
        out.portion.reset();
        out.error = std::move(why);
    }
    return out;
}

CellReading read_cell(const std::string& text) {
    CellReading out;
    out.value = parse_number(text);
    if (!out.value) out.error = "Введите число, например 12,5.";
    return out;
}

}  // namespace velkon::calibration
