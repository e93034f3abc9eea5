// The configuration record's read and write: the read request, the answer shown in the
// controls, and the write frame built from them, queued and kept in the program folder as
// "123.cfg".
#include <charconv>
#include <filesystem>
#include <utility>

#include "files/file_error.h"
#include "files/file_write.h"
#include "tracker/tracker.h"

namespace velkon {

namespace {

namespace fs = std::filesystem;

// The option button of a Mode field for a mode byte (1..3).
ControlName option_name(const ConfigField& field, std::uint32_t mode) {
    return field.options[mode - 1];
}

void show_field(WindowModel& m, const ConfigField& field, const FieldValue& value) {
    if (field.as_text()) {
        m.set_text(field.control, std::get<std::string>(value));
        if (field.kind == FieldKind::Version) {
            const std::string& text = std::get<std::string>(value);
            unsigned version = 0;
            std::from_chars(text.data(), text.data() + text.size(), version);
            const bool egts = version > 42;  // older firmware has no EGTS
            m.set_visible(ctl::EGTS_prot, egts);
            m.set_visible(ctl::Label42, egts);
        }
        return;
    }
    const std::uint32_t n = std::get<std::uint32_t>(value);
    if (field.kind == FieldKind::Flag) {
        m.set_checked(field.control, n != 0);
        return;
    }
    if (n < 1 || n > 3) return;  // an unknown mode leaves the option buttons as they were
    for (std::uint32_t k = 1; k <= 3; ++k) m.set_checked(option_name(field, k), k == n);
}

FieldValue window_value(const WindowModel& m, const ConfigField& field) {
    if (field.as_text()) return m.text(field.control);
    if (field.kind == FieldKind::Flag) return std::uint32_t{m.checked(field.control) ? 1u : 0u};
    for (std::uint32_t k = 1; k <= 3; ++k) {
        if (m.checked(option_name(field, k))) return k;
    }
    return std::uint32_t{0};
}

}  // namespace

Frame configuration_read_request() {
    return make_frame(
        {kAnswerPrefix, kUnitAddress, code::kConfigRead, 0x00, 0x00, 0x00, 0x00, 0x00});
}

void Tracker::read_configuration() {
    outbox_.put_and_echo(configuration_read_request());
}

void Tracker::reread_configuration() {
    // Fields on their way to the unit are not unwritten: only edits since the write count.
    const bool being_written = written_ && written_link_ == outbox_.link() &&
                               configuration_from_window() == written_fields_;
    if (fields_changed() && !being_written) {
        const std::uint64_t link = outbox_.link();
        if (!dialogs_.yes_no(std::string(kUnwrittenChangesQuestion))) return;
        if (!outbox_.still_on(link)) return;
    }
    read_configuration();
}

void Tracker::acknowledge_write(std::string_view request) {
    if (request.size() != kConfigFrameSize || byte_at(request, 2) != code::kConfigWrite) return;
    // The unit holds this frame whichever write it was: it is the copy.
    const Frame acknowledged(request);
    const bool last_queued = written_ && acknowledged == written_frame_;
    if (last_queued) {
        // Placeholders filled for this unit: the fields show what it now holds, unless they were
        // changed since the write was queued.
        if (configuration_from_window() == written_fields_) show_record(*written_);
        unit_view_ = std::move(*written_);
        written_.reset();
        written_frame_.clear();
        units_link_ = outbox_.link();
        read_failed_ = false;
        from_profile_ = false;
        update_changed_mark();
    }
    keep_copy(acknowledged);
}

void Tracker::configuration_not_read() {
    read_failed_ = true;
    update_changed_mark();
}

bool Tracker::fields_are_units() const {
    return units_link_ && *units_link_ == outbox_.link();
}

void Tracker::fill_from_profile(const TrackerConfig& config) {
    show_record(config);
    from_profile_ = true;
    update_changed_mark();
}

void Tracker::update_changed_mark() {
    const int tab = m_.tab();
    const bool not_read =
        !fields_are_units() && (read_failed_ || from_profile_) && (tab == 1 || tab == 2);
    const bool changed = fields_changed();
    m_.set_text(ctl::changed_mark, std::string(not_read ? kNotReadMark : kChangedMark));
    m_.set_visible(ctl::changed_mark, not_read || changed);
}

void Tracker::take_fields_as_the_units() {
    unit_view_ = configuration_from_window();
    update_changed_mark();
}

TrackerConfig Tracker::configuration_from_window() const {
    TrackerConfig config;
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].written()) config.values[i] = window_value(m_, layout[i]);
    }
    return config;
}

void Tracker::show_configuration(const Frame& answer) {
    const TrackerConfig config = decode_config_answer(answer);
    for (const auto& value : config.values) {
        if (!value) {
            m_.set_text(ctl::MsgCom, std::string(kConfigurationCut));
            return;
        }
    }
    show_record(config);
    units_link_ = outbox_.link();
    serial_link_ = outbox_.link();
    read_failed_ = false;
    from_profile_ = false;
    take_fields_as_the_units();
}

void Tracker::show_record(const TrackerConfig& config) {
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (config.values[i]) show_field(m_, layout[i], *config.values[i]);
    }
}

void Tracker::write_configuration() {
    if (!fields_are_units()) {
        if (!from_profile_) {
            dialogs_.message(std::string(kReadConfigurationFirst), Dialogs::Icon::Exclamation);
            return;
        }
        const std::uint64_t link = outbox_.link();
        if (!dialogs_.yes_no(std::string(kWriteProfileUnreadQuestion))) return;
        if (!outbox_.still_on(link)) return;
    }
    const TrackerConfig fields = configuration_from_window();
    const FilledRecord filled = fill_placeholders(fields, units_values());
    if (!filled) {
        const ConfigField& field = tracker_config_layout()[filled.field];
        dialogs_.message("Поле «" + std::string(field.caption) + "»: " + filled.refusal,
                         Dialogs::Icon::Exclamation);
        return;
    }
    const ConfigFrame built = encode_config_frame(*filled.config);
    if (!built) {
        dialogs_.message(built.refusal);
        return;
    }
    outbox_.put_and_echo(built.frame);
    written_ = *filled.config;
    written_fields_ = fields;
    written_link_ = outbox_.link();
    written_frame_ = built.frame;
}

UnitValues Tracker::units_values() const {
    // What the labels show only while it is this unit's: "NOT READ" after a silence, a serial
    // number only from a read on this link, a port only while the link is open.
    UnitValues unit;
    const auto told = [&](ControlName label) -> std::optional<std::string> {
        const std::string& text = m_.text(label);
        if (text.empty() || text == kNotReadLabel) return std::nullopt;
        return text;
    };
    unit.imei = told(ctl::imei);
    unit.sim = told(ctl::nsim);
    if (serial_link_ && *serial_link_ == outbox_.link()) unit.serial = told(ctl::sern);
    if (!m_.enabled(ctl::BTNOpenCom)) {
        if (auto port = m_.selected_item(ctl::CmbPort)) unit.port = *port;
    }
    return unit;
}

// The copy is a convenience: the unit has the configuration whether or not it can be kept.
void Tracker::keep_copy(const Frame& frame) {
    if (program_folder_.empty()) {
        dialogs_.message(
            "Конфигурация записана в трекер, но её копия не сохранена: не найдена папка "
            "программы.",
            Dialogs::Icon::Exclamation);
        return;
    }
    const fs::path copy = program_folder_ / kConfigCopyName;
    if (const int error = replace_file(copy, frame)) {
        dialogs_.message(
            "Конфигурация записана в трекер, но её копию не удалось сохранить в "
            "файл «" +
                path_text(copy) + "»: " + file_error_text(error) + ".",
            Dialogs::Icon::Exclamation);
    }
}

}  // namespace velkon
