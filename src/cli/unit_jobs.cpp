#include "cli/unit_jobs.h"

#include "cli/unit_link.h"
#include "cli/write_check.h"
#include "tracker/tracker.h"

namespace velkon::cli {

namespace {

constexpr const char* kLineSettings = "19200,n,8,1";
constexpr std::uint8_t kConfigWriteAck = 0xA3;
constexpr std::uint8_t kConfigAnswer = 0xA2;
constexpr std::uint8_t kImeiAnswer = 0xA7;
constexpr std::size_t kConfigWriteAckSize = 4;
constexpr std::size_t kConfigAnswerMin = kConfigAnswerSize + 1;  // with the check byte

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
    const Exchange answer = link.ask(imei_request(), kImeiAnswer, kImeiAnswerSize);
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
    const Exchange answer = link.ask(configuration_read_request(), kConfigAnswer, kConfigAnswerMin);
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
    if (!serial->OpenPort(port.path, kLineSettings)) {
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

UnitReport write_unit(const NamedPort& port, const UnitJobSettings& settings,
                      const ProfileTemplate& profile, bool identify_unit, UnitProgress* progress) {
    UnitReport report;
    if (progress && progress->stopping()) {
        report.port = port.name;
        stopped(report);
        return report;
    }
    auto serial = open_unit_port(port, settings, report);
    if (!serial) return report;
    UnitLink link(*serial, settings.wait);

    UnitFacts facts;
    facts.port = port.name;
    if (identify_unit || profile.uses_imei_or_sim) {
        if (!identify(link, report)) return report;
        facts.imei = report.imei;
        facts.sim = report.sim;
        if (progress) progress->identified(report.imei, report.sim);
    }
    if (identify_unit || profile.uses_serial) {
        if (!read_record(link, report, "Конфигурация не прочитана. ")) return report;
        facts.serial = report.serial;
    }
    const FilledProfile filled = fill_profile(profile, facts);
    if (!filled) {
        report.status = kBadInput;
        report.outcome = UnitOutcome::Refused;
        report.message = filled.refusal;
        return report;
    }
    const ConfigFrame frame = encode_config_frame(*filled.config);
    if (!frame) {
        report.status = kBadInput;
        report.outcome = UnitOutcome::Refused;
        report.message = frame.refusal;
        return report;
    }

    // A write changes the unit, so it goes again only when the unit neither acknowledged it
    // (late acknowledgements included) nor holds its values: then the copy before was lost.
    int sent = 0;
    for (; sent < kAttempts;) {
        if (progress && !progress->begin_write()) {
            stopped(report);
            return report;
        }
        const Exchange written = link.send_once(frame.frame, kConfigWriteAck, kConfigWriteAckSize);
        ++sent;
        if (written.outcome == Exchange::Outcome::WriteFailed) {
            fail(report, written, "Конфигурация не записана. ");
            return report;
        }
        const bool acknowledged =
            written || holds_frame(link.settle(), kConfigWriteAck, kConfigWriteAckSize);
        if (acknowledged && progress) progress->write_acknowledged();
        const auto read_back = read_record(link, report,
                                           acknowledged ? "Запись подтверждена, но не проверена: "
                                                          "конфигурация не прочитана обратно. "
                                                        : "Запись не подтверждена, и конфигурация "
                                                          "не прочитана обратно. ");
        if (!read_back) {
            if (acknowledged) report.outcome = UnitOutcome::WrittenUnchecked;
            return report;
        }
        report.difference_lines = differing_fields(*filled.config, *read_back);
        report.differing = differing_keys(*filled.config, *read_back);
        if (report.differing.empty()) {
            report.outcome = UnitOutcome::Written;
            report.message = acknowledged ? "Конфигурация записана и проверена."
                                          : "Конфигурация записана и проверена (подтверждение "
                                            "записи не пришло, но трекер хранит записанное).";
            return report;
        }
        if (acknowledged) {
            report.status = kDeviceFailed;
            report.outcome = UnitOutcome::Differs;
            report.message = "Трекер хранит не то, что записано.";
            return report;
        }
        report.differing.clear();
        report.difference_lines.clear();
    }
    report.status = kDeviceFailed;
    report.outcome = UnitOutcome::NotWritten;
    report.message =
        "Трекер не подтвердил запись и хранит прежнее (отправлено раз: " + std::to_string(sent) +
        ").";
    return report;
}

}  // namespace velkon::cli
