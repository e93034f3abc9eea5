#include "cli/unit_jobs.h"

#include "cli/unit_link.h"
#include "cli/write_check.h"
#include "tracker/tracker.h"

namespace velkon::cli {

namespace {

std::string in_guillemets(const std::string& text) {
    return "«" + text + "»";
}

std::string value_of_control(const TrackerConfig& config, ControlName control) {
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].control == control) return text_of(config.values[i]);
    }
    return {};
}

void fail(UnitReport& report, const Exchange& exchange, const std::string& before = "") {
    report.status = kDeviceFailed;
    switch (exchange.outcome) {
        case Exchange::Outcome::Silent:
            report.outcome = UnitOutcome::NoAnswer;
            break;
        case Exchange::Outcome::Damaged:
            report.outcome = UnitOutcome::Damaged;
            break;
        case Exchange::Outcome::TooSlow:
            report.outcome = UnitOutcome::TooSlow;
            break;
        case Exchange::Outcome::Unexpected:
            report.outcome = UnitOutcome::WrongAnswer;
            break;
        case Exchange::Outcome::WriteFailed:
        case Exchange::Outcome::Answered:
            report.outcome = UnitOutcome::PortError;
            break;
    }
    report.message = before + exchange.message();
}

void take_record(UnitReport& report, const TrackerConfig& config) {
    report.serial = value_of_control(config, ctl::sern);
    report.firmware = value_of_control(config, ctl::vPo);
}

// IMEI and SIM; false with the report filled when the unit did not tell them.
bool identify(UnitLink& link, UnitReport& report) {
    const Exchange answer = link.ask(imei_request(), code::kImei, kImeiAnswerFrame);
    if (!answer) {
        fail(report, answer, "IMEI не прочитан. ");
        return false;
    }
    const ImeiAnswer fields = decode_imei_answer(answer.answer);
    report.imei = fields.imei;
    report.sim = fields.sim;
    return true;
}

std::optional<TrackerConfig> read_record(UnitLink& link, UnitReport& report, const char* before) {
    const Exchange answer =
        link.ask(configuration_read_request(), code::kConfigRead, kConfigAnswerFrame);
    if (!answer) {
        fail(report, answer, before);
        return std::nullopt;
    }
    TrackerConfig config = decode_config_answer(answer.answer);
    take_record(report, config);
    return config;
}

void stopped(UnitReport& report) {
    report.status = kDeviceFailed;
    report.outcome = UnitOutcome::Interrupted;
    report.message = "Запись не начата: работа прервана.";
}

}  // namespace

bool UnitProgress::begin_write() {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    seen_.stage = WriteStage::Sent;
    return true;
}

void UnitProgress::write_acknowledged() {
    std::lock_guard lock(mutex_);
    seen_.stage = WriteStage::Acknowledged;
}

void UnitProgress::identified(const std::string& imei, const std::string& sim) {
    std::lock_guard lock(mutex_);
    seen_.imei = imei;
    seen_.sim = sim;
}

void UnitProgress::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
}

bool UnitProgress::stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

UnitProgress::Seen UnitProgress::seen() const {
    std::lock_guard lock(mutex_);
    return seen_;
}

std::unique_ptr<SerialPort> open_unit_port(const NamedPort& port, const UnitJobSettings& settings,
                                           UnitReport& report) {
    report.port = port.name;
    if (port.console && !settings.console_allowed) {
        report.status = kBadInput;
        report.outcome = UnitOutcome::Console;
        report.message = "Порт " + in_guillemets(port.name) +
                         " — консоль системы: кадры на нём мешают системе, а не настраивают "
                         "трекер. Чтобы всё же открыть его, добавьте --console.";
        return nullptr;
    }
    auto serial = settings.make_port();
    if (!serial->OpenPort(port.path, kDeviceLine)) {
        const std::string reason = describe_open_error(serial->last_open_error(), port.path);
        report.status = kPortFailed;
        report.outcome = UnitOutcome::PortUnavailable;
        report.message = "Порт " + in_guillemets(port.name) + " недоступен." +
                         (reason.empty() ? "" : " " + reason);
        return nullptr;
    }
    return serial;
}

UnitReport read_unit(const NamedPort& port, const UnitJobSettings& settings, bool with_config) {
    UnitReport report;
    auto serial = open_unit_port(port, settings, report);
    if (!serial) return report;
    UnitLink link(*serial, settings.wait);
    if (!identify(link, report)) return report;
    auto config = read_record(link, report, "Конфигурация не прочитана. ");
    if (!config) return report;
    if (with_config) report.config = std::move(config);
    report.outcome = UnitOutcome::Read;
    return report;
}

void UnitOnPort::close() {
    link.reset();
    serial.reset();
}

void refuse(UnitReport& report, UnitOutcome outcome, int status, const std::string& message) {
    report.status = status;
    report.outcome = outcome;
    report.message = message;
}

UnitOnPort reach_unit(const NamedPort& port, const UnitJobSettings& settings, bool ask_imei,
                      bool read_config, UnitProgress* progress) {
    UnitOnPort unit;
    unit.report.port = port.name;
    if (progress && progress->stopping()) {
        stopped(unit.report);
        return unit;
    }
    unit.serial = open_unit_port(port, settings, unit.report);
    if (!unit.serial) return unit;
    auto link = std::make_unique<UnitLink>(*unit.serial, settings.wait);
    if (ask_imei) {
        if (!identify(*link, unit.report)) return unit;
        if (progress) progress->identified(unit.report.imei, unit.report.sim);
    }
    if (read_config) {
        unit.held = read_record(*link, unit.report, "Конфигурация не прочитана. ");
        if (!unit.held) return unit;
    }
    unit.link = std::move(link);
    return unit;
}

void write_filled(UnitOnPort& unit, const FilledProfile& filled, bool dry_run,
                  UnitProgress* progress) {
    UnitReport& report = unit.report;
    report.filled = filled.filled;
    if (unit.held) {
        for (FieldChange& change : changed_fields(*filled.config, *unit.held)) {
            report.changes.push_back(
                {std::move(change.key), std::move(change.before), std::move(change.after)});
        }
    }
    if (dry_run) {
        report.status = kDone;
        report.outcome = report.changes.empty() ? UnitOutcome::Unchanged : UnitOutcome::WouldChange;
        report.message =
            report.changes.empty()
                ? "Трекер уже хранит эти значения."
                : "Запись изменила бы значения: " + std::to_string(report.changes.size()) + ".";
        return;
    }
    const ConfigFrame frame = encode_config_frame(*filled.config);
    if (!frame) {
        refuse(report, UnitOutcome::Refused, kBadInput, frame.refusal);
        return;
    }
    UnitLink& link = *unit.link;

    // A write changes the unit, so it goes again only when the unit neither acknowledged it
    // (late acknowledgements included) nor holds its values: then the copy before was lost.
    int sent = 0;
    for (; sent < kAttempts;) {
        if (progress && !progress->begin_write()) {
            stopped(report);
            return;
        }
        const Exchange written = link.send_once(frame.frame, code::kConfigWrite, kShortestFrame);
        ++sent;
        if (written.outcome == Exchange::Outcome::WriteFailed) {
            fail(report, written, "Конфигурация не записана. ");
            return;
        }
        const bool acknowledged =
            written || holds_frame(link.settle(), code::kConfigWrite, kShortestFrame);
        if (acknowledged && progress) progress->write_acknowledged();
        const auto read_back = read_record(link, report,
                                           acknowledged ? "Запись подтверждена, но не проверена: "
                                                          "конфигурация не прочитана обратно. "
                                                        : "Запись не подтверждена, и конфигурация "
                                                          "не прочитана обратно. ");
        if (!read_back) {
            if (acknowledged) report.outcome = UnitOutcome::WrittenUnchecked;
            return;
        }
        report.difference_lines = differing_fields(*filled.config, *read_back);
        report.differing = differing_keys(*filled.config, *read_back);
        if (report.differing.empty()) {
            report.outcome = UnitOutcome::Written;
            report.message = acknowledged ? "Конфигурация записана и проверена."
                                          : "Конфигурация записана и проверена (подтверждение "
                                            "записи не пришло, но трекер хранит записанное).";
            return;
        }
        if (acknowledged) {
            report.status = kDeviceFailed;
            report.outcome = UnitOutcome::Differs;
            report.message = "Трекер хранит не то, что записано.";
            return;
        }
        report.differing.clear();
        report.difference_lines.clear();
    }
    report.status = kDeviceFailed;
    report.outcome = UnitOutcome::NotWritten;
    report.message =
        "Трекер не подтвердил запись и хранит прежнее (отправлено раз: " + std::to_string(sent) +
        ").";
}

UnitReport write_unit(const NamedPort& port, const UnitJobSettings& settings,
                      const ProfileTemplate& profile, bool identify_unit, UnitProgress* progress) {
    UnitOnPort unit = reach_unit(port, settings, identify_unit || profile.uses_imei_or_sim,
                                 identify_unit || profile.uses_serial, progress);
    if (!unit.ready()) return std::move(unit.report);
    UnitFacts facts;
    facts.port = port.name;
    if (identify_unit || profile.uses_imei_or_sim) {
        facts.imei = unit.report.imei;
        facts.sim = unit.report.sim;
    }
    if (identify_unit || profile.uses_serial) facts.serial = unit.report.serial;
    const FilledProfile filled = fill_profile(profile, facts);
    if (!filled) {
        refuse(unit.report, UnitOutcome::Refused, kBadInput, filled.refusal);
        return std::move(unit.report);
    }
    write_filled(unit, filled, false, progress);
    return std::move(unit.report);
}

}  // namespace velkon::cli
