// The configuration record's read and write: the read request, the answer shown in the
// controls, and the write frame built from them, queued and kept in the program folder as
// "123.cfg".
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/form.h"
#include "tracker/record.h"

namespace velkon {

namespace {

namespace fs = std::filesystem;

constexpr const char* kConfigCopyName = "123.cfg";

// The option button of a Mode field for a mode byte (1..3).
std::string option_name(const ConfigField& field, std::uint32_t mode) {
    return std::string(field.control) + static_cast<char>('0' + mode);
}

void show_field(WindowModel& m, const ConfigField& field, const FieldValue& value) {
    if (field.as_text()) {
        m.set_text(field.control, std::get<std::string>(value));
        if (field.kind == FieldKind::Version) {
            const std::string& text = std::get<std::string>(value);
            unsigned version = 0;
            std::from_chars(text.data(), text.data() + text.size(), version);
            const bool egts = version > 42;  // older firmware has no EGTS
            m.set_visible("EGTS_prot", egts);
            m.set_visible("Label42", egts);
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

TrackerConfig config_from_window(const WindowModel& m) {
    TrackerConfig config;
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].written()) config.values[i] = window_value(m, layout[i]);
    }
    return config;
}

std::string reason_text(int error) {
    static const struct {
        int error;
        const char* text;
    } kReasons[] = {
        {EACCES, "нет прав на запись"},
        {EPERM, "нет прав на запись"},
        {EROFS, "диск доступен только для чтения"},
        {ENOSPC, "на диске нет места"},
        {EISDIR, "на месте файла находится папка"},
        {ENOTDIR, "на месте папки находится файл"},
        {ENOENT, "папка не найдена"},
    };
    for (const auto& r : kReasons) {
        if (r.error == error) return r.text;
    }
    return std::generic_category().message(error);
}

// Writes `bytes` to a file of its own next to `target`, then puts it in the place of `target`,
// so a failure midway leaves the earlier copy whole. Returns the error number, 0 on success.
int replace_file(const fs::path& target, std::string_view bytes) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    fs::path temp = target;
    temp += ".tmp";
    errno = 0;
    std::FILE* file = std::fopen(temp.string().c_str(), "wb");
    if (!file) return errno ? errno : EIO;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int error = written ? 0 : (errno ? errno : EIO);
    if (std::fclose(file) != 0 && error == 0) error = errno ? errno : EIO;
    if (error == 0) {
        fs::rename(temp, target, ec);
        error = ec ? ec.value() : 0;
    }
    if (error != 0) fs::remove(temp, ec);
    return error;
}

}  // namespace

void Form::readdata_Click() {
    m_.vars.wrs = make_frame({0x3E, 0xCA, 0xA2, 0x00, 0x00, 0x00, 0x00, 0x00});
    out_win(m_.vars.wrs);
}

void Form::config_to_form(const Frame& answer) {
    const TrackerConfig config = decode_config_answer(answer);
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (config.values[i]) show_field(m_, layout[i], *config.values[i]);
    }
}

void Form::setdata_Click() {
    const ConfigFrame built = encode_config_frame(config_from_window(m_));
    if (!built) {
        s_.dialogs.message(built.refusal);
        return;
    }
    m_.vars.wrs = built.frame;
    out_win(built.frame);
    // The copy is a convenience: when it cannot be kept, the frame still goes to the unit.
    const fs::path copy = s_.program_folder / kConfigCopyName;
    if (const int error = replace_file(copy, built.frame)) {
        s_.dialogs.message("Не удалось сохранить копию конфигурации в файл «" + copy.string() +
                               "»: " + reason_text(error) +
                               ". Конфигурация всё равно будет отправлена в трекер.",
                           Dialogs::Icon::Exclamation);
    }
}

Frame Form::add_addr(const std::string& text) {
    if (const auto address = address_from_text(text)) return Frame(1, static_cast<char>(*address));
    s_.dialogs.message(kAddressRangeMessage);
    return Frame(1, '\xFC');
}

}  // namespace velkon
