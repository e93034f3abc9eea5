#include "profile/profile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>

#include "files/file_error.h"
#include "files/file_read.h"
#include "protocol/codes.h"
#include "protocol/frame.h"
#include "tracker/placeholders.h"

namespace velkon {

namespace {

using Json = nlohmann::ordered_json;

enum class ValueType { Text, Integer, Mode, Bool };

// A key of the profile and the layout row (by its control) that holds its value.
struct KeyRow {
    std::string_view key;
    ControlName control;
    ValueType type;
};

constexpr KeyRow kRecordKeys[] = {
    {"apn", ctl::apn, ValueType::Text},
    {"gsm_user", ctl::gsm_user, ValueType::Text},
    {"gsm_password", ctl::gdm_pwd, ValueType::Text},
    {"sim_pin", ctl::pincod, ValueType::Text},
    {"server", ctl::ip_serv, ValueType::Text},
    {"server_port", ctl::port_serv, ValueType::Text},
    {"device_id", ctl::id_dev, ValueType::Text},
    {"access_password", ctl::pwd_serv, ValueType::Text},
    {"period", ctl::time_otpr, ValueType::Integer},
    {"input1_mode", ctl::Frame11, ValueType::Mode},
    {"input2_mode", ctl::Frame12, ValueType::Mode},
    {"egts", ctl::EGTS_prot, ValueType::Bool},
};
constexpr std::string_view kFormatKey = "format";
constexpr std::string_view kChannelsKey = "channels";
constexpr std::size_t kChannelCount = 8;
constexpr std::string_view kEnabledKey = "enabled";
constexpr std::string_view kAddressKey = "address";

// Informative keys: taken from a read, never written to a unit.
struct InfoKey {
    std::string_view key;
    ControlName control;
    std::uint64_t max;
};
constexpr InfoKey kInfoKeys[] = {
    {"firmware_version", ctl::vPo, 0xFFFF},
    {"serial_number", ctl::sern, 0xFFFFFFFF},
};

constexpr std::size_t kProfileSizeLimit = 1024 * 1024;

std::size_t row_of(ControlName control) {
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].control == control) return i;
    }
    std::abort();  // the key table names a control the layout lacks
}

std::string channel_key(std::size_t channel, std::string_view key) {
    std::string out = std::string(kChannelsKey) + "[" + std::to_string(channel) + "]";
    if (!key.empty()) out += "." + std::string(key);
    return out;
}

// The profile key of every layout row ("" for none).
const std::vector<std::string>& row_keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> out(tracker_config_layout().size());
        for (const KeyRow& k : kRecordKeys) out[row_of(k.control)] = std::string(k.key);
        for (std::size_t c = 0; c < kChannelCount; ++c) {
            out[row_of(ctl::channel_check[c])] = channel_key(c, kEnabledKey);
            out[row_of(ctl::channel_address[c])] = channel_key(c, kAddressKey);
        }
        for (const InfoKey& k : kInfoKeys) out[row_of(k.control)] = std::string(k.key);
        return out;
    }();
    return keys;
}

std::string in_quotes(std::string_view key) {
    return "«" + std::string(key) + "»";
}

std::string key_problem(std::string_view key, std::string_view problem) {
    return "Ключ " + in_quotes(key) + ": " + std::string(problem);
}

std::string expected_type(ValueType type) {
    switch (type) {
        case ValueType::Text:
            return "ожидается текст в кавычках.";
        case ValueType::Integer:
            return "ожидается целое число.";
        case ValueType::Mode:
            return "ожидается 1 (сухой контакт), 2 (частотный) или 3 (аналоговый).";
        case ValueType::Bool:
            return "ожидается true или false.";
    }
    std::abort();
}

std::string integer_text(const Json& value) {
    if (value.is_number_unsigned()) return std::to_string(value.get<std::uint64_t>());
    return std::to_string(value.get<std::int64_t>());
}

// One value of the record from its JSON value, or the problem with it.
struct Taken {
    std::optional<FieldValue> value;
    std::string problem;
};

Taken take_value(const Json& value, ValueType type) {
    switch (type) {
        case ValueType::Text: {
            if (!value.is_string()) break;
            std::string text = value.get<std::string>();
            // A NUL would end the field early: the unit would show less than the profile holds.
            if (text.find('\0') != std::string::npos) {
                return {std::nullopt,
                        "в тексте есть нулевой символ (\\u0000), его нельзя "
                        "передать в трекер."};
            }
            return {FieldValue(std::move(text)), {}};
        }
        case ValueType::Integer:
            if (!value.is_number_integer()) break;
            return {FieldValue(integer_text(value)), {}};
        case ValueType::Mode:
            if (!value.is_number_integer()) break;
            if (value.is_number_unsigned() || value.get<std::int64_t>() >= 0) {
                const auto mode = value.get<std::uint64_t>();
                if (mode >= 1 && mode <= 3)
                    return {FieldValue(static_cast<std::uint32_t>(mode)), {}};
            }
            break;
        case ValueType::Bool:
            if (!value.is_boolean()) break;
            return {FieldValue(std::uint32_t{value.get<bool>() ? 1u : 0u}), {}};
    }
    return {std::nullopt, expected_type(type)};
}

// Line and column (from 1) of a byte offset, for a parse error.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return {line, column};
}

// Parses JSON and refuses a key given twice in one object, which JSON readers settle differently.
struct Parsed {
    Json json;
    std::string error;
};

Parsed parse_json(std::string_view text) {
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
        return {Json(), "Файл пуст."};
    }
    std::vector<std::set<std::string>> seen;
    std::string duplicate;
    const Json::parser_callback_t callback = [&](int, nlohmann::json::parse_event_t event,
                                                 Json& parsed) {
        using E = nlohmann::json::parse_event_t;
        if (event == E::object_start) seen.emplace_back();
        if (event == E::object_end && !seen.empty()) seen.pop_back();
        if (event == E::key && !seen.empty() && duplicate.empty()) {
            const std::string key = parsed.get<std::string>();
            if (!seen.back().insert(key).second) duplicate = key;
        }
        return true;
    };
    try {
        Json json = Json::parse(text.begin(), text.end(), callback);
        if (!duplicate.empty()) return {Json(), "Ключ " + in_quotes(duplicate) + " указан дважды."};
        return {std::move(json), {}};
    } catch (const nlohmann::json::parse_error& e) {
        const auto [line, column] = line_and_column(text, e.byte == 0 ? 0 : e.byte - 1);
        std::string what = "Файл повреждён: ошибка в записи JSON, строка " + std::to_string(line) +
                           ", столбец " + std::to_string(column) + ".";
        if (std::string_view(e.what()).find("UTF-8") != std::string_view::npos) {
            what += " Текст не в кодировке UTF-8.";
        }
        return {Json(), what};
    } catch (const nlohmann::json::exception&) {
        return {Json(), "Файл повреждён: его нельзя прочитать как JSON."};
    }
}

// The refusal of a value by the checks of a configuration write, named by its key (or, for a
// record without keys, by the field's caption).
std::string refusal_for_row(const ConfigFrame& built, bool by_key) {
    const std::string& key = row_keys()[built.field];
    if (by_key && !key.empty()) return key_problem(key, built.refusal);
    return "Поле " + in_quotes(tracker_config_layout()[built.field].caption) + ": " + built.refusal;
}

// The checks a loaded record must pass besides its types: those of a configuration write, and an
// input mode that selects one of the three option buttons.
std::string check_record(const TrackerConfig& config, bool by_key) {
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].kind != FieldKind::Mode) continue;
        const auto* mode =
            config.values[i] ? std::get_if<std::uint32_t>(&*config.values[i]) : nullptr;
        if (!mode || *mode < 1 || *mode > 3) {
            const std::string problem = expected_type(ValueType::Mode);
            if (by_key) return key_problem(row_keys()[i], problem);
            return "Поле " + in_quotes(layout[i].caption) + ": " + problem;
        }
    }
    // A profile may be a fleet's: its placeholders are checked for their form here, and the
    // values they stand for when a unit fills them.
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].kind != FieldKind::Text) continue;
        const std::string problem = placeholder_problem(text_of(config.values[i]));
        if (problem.empty()) continue;
        if (by_key && !row_keys()[i].empty()) return key_problem(row_keys()[i], problem);
        return "Поле " + in_quotes(layout[i].caption) + ": " + problem;
    }
    const ConfigFrame built = encode_config_frame(with_stand_ins(config));
    if (!built) return refusal_for_row(built, by_key);
    return {};
}

LoadedProfile refused(std::string error) {
    return {std::nullopt, std::move(error)};
}

// The record of a profile object whose format key has been checked.
LoadedProfile record_of(const Json& object) {
    std::set<std::string_view> known = {kFormatKey, kChannelsKey};
    for (const KeyRow& k : kRecordKeys) known.insert(k.key);
    for (const InfoKey& k : kInfoKeys) known.insert(k.key);
    for (const auto& item : object.items()) {
        if (!known.count(item.key()))
            return refused("Неизвестный ключ " + in_quotes(item.key()) + ".");
    }

    TrackerConfig config;
    for (const KeyRow& k : kRecordKeys) {
        const auto found = object.find(std::string(k.key));
        if (found == object.end()) return refused("Нет ключа " + in_quotes(k.key) + ".");
        Taken taken = take_value(*found, k.type);
        if (!taken.value) return refused(key_problem(k.key, taken.problem));
        config.values[row_of(k.control)] = std::move(taken.value);
    }

    const auto channels = object.find(std::string(kChannelsKey));
    if (channels == object.end()) return refused("Нет ключа " + in_quotes(kChannelsKey) + ".");
    if (!channels->is_array()) {
        return refused(key_problem(kChannelsKey, "ожидается массив из 8 объектов."));
    }
    if (channels->size() != kChannelCount) {
        return refused(key_problem(kChannelsKey, "ожидается 8 каналов, а в файле " +
                                                     std::to_string(channels->size()) + "."));
    }
    for (std::size_t c = 0; c < kChannelCount; ++c) {
        const Json& channel = (*channels)[c];
        if (!channel.is_object()) {
            return refused(key_problem(channel_key(c, ""),
                                       "ожидается объект {\"enabled\": …, \"address\": …}."));
        }
        for (const auto& item : channel.items()) {
            if (item.key() != kEnabledKey && item.key() != kAddressKey) {
                return refused("Неизвестный ключ " + in_quotes(channel_key(c, item.key())) + ".");
            }
        }
        const struct {
            std::string_view key;
            const std::array<ControlName, kChannelCount>& controls;
            ValueType type;
        } parts[] = {{kEnabledKey, ctl::channel_check, ValueType::Bool},
                     {kAddressKey, ctl::channel_address, ValueType::Integer}};
        for (const auto& part : parts) {
            const std::string key = channel_key(c, part.key);
            const auto found = channel.find(std::string(part.key));
            if (found == channel.end()) return refused("Нет ключа " + in_quotes(key) + ".");
            Taken taken = take_value(*found, part.type);
            if (!taken.value) return refused(key_problem(key, taken.problem));
            config.values[row_of(part.controls[c])] = std::move(taken.value);
        }
    }

    for (const InfoKey& k : kInfoKeys) {
        const auto found = object.find(std::string(k.key));
        if (found == object.end()) continue;
        const bool fits = found->is_number_unsigned()  ? found->get<std::uint64_t>() <= k.max
                          : found->is_number_integer() ? found->get<std::int64_t>() >= 0
                                                       : false;
        if (!fits) {
            return refused(
                key_problem(k.key, "ожидается целое число от 0 до " + std::to_string(k.max) + "."));
        }
        config.values[row_of(k.control)] = FieldValue(integer_text(*found));
    }

    if (std::string error = check_record(config, true); !error.empty()) return refused(error);
    return {std::move(config), {}};
}

// The value as a profile shows it, for the report of a difference.
std::string shown_value(const std::optional<FieldValue>& value, FieldKind kind) {
    if (!value) return "нет";
    if (const auto* text = std::get_if<std::string>(&*value)) {
        return kind == FieldKind::Text ? "«" + *text + "»" : *text;
    }
    const std::uint32_t n = std::get<std::uint32_t>(*value);
    if (kind == FieldKind::Flag) return n ? "true" : "false";
    return std::to_string(n);
}

// The record as the unit would report it back after a write: numbers as the write frame carries
// them (a period "60,4" becomes 60); texts as given, so a text the unit shows shorter stays
// different.
std::optional<TrackerConfig> written_form(const TrackerConfig& config) {
    const ConfigFrame built = encode_config_frame(config);
    if (!built) return std::nullopt;
    TrackerConfig out = decode_config_answer(built.frame);
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!layout[i].written()) {
            out.values[i] = config.values[i];
        } else if (layout[i].kind == FieldKind::Text) {
            out.values[i] = config.values[i] ? config.values[i] : FieldValue(std::string());
        }
    }
    return out;
}

// A decimal number held as text, if the whole text is one.
std::optional<std::uint64_t> decimal(const std::optional<FieldValue>& value) {
    if (!value) return std::nullopt;
    const auto* text = std::get_if<std::string>(&*value);
    if (!text || text->empty() || text->size() > 10) return std::nullopt;
    std::uint64_t n = 0;
    for (char ch : *text) {
        if (ch < '0' || ch > '9') return std::nullopt;
        n = n * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    return n;
}

}  // namespace

LoadedProfile parse_profile(std::string_view json_text) {
    const Parsed parsed = parse_json(json_text);
    if (!parsed.error.empty()) return refused(parsed.error);
    const Json& json = parsed.json;
    if (!json.is_object()) return refused("Это не профиль: в файле должен быть один объект JSON.");
    const auto format = json.find(std::string(kFormatKey));
    if (format == json.end()) {
        return refused("Это не профиль: нет ключа " + in_quotes(kFormatKey) + " со значением " +
                       in_quotes(kProfileFormat) + ".");
    }
    if (!format->is_string() || format->get<std::string>() != kProfileFormat) {
        return refused(key_problem(kFormatKey, "формат " + in_quotes(format->dump()) +
                                                   " не поддерживается, ожидается " +
                                                   in_quotes(kProfileFormat) + "."));
    }
    return record_of(json);
}

LoadedProfile parse_config_copy(std::string_view bytes) {
    const std::string not_a_copy = "Это не копия конфигурации: ";
    if (bytes.size() != kConfigFrameSize) {
        return refused(not_a_copy + "в файле " + std::to_string(bytes.size()) + " байт, а не " +
                       std::to_string(kConfigFrameSize) + ".");
    }
    const std::string_view tail =
        bytes.substr(kConfigWriteTailPosition - 1, kConfigWriteTail.size());
    if (byte_at(bytes, 0) != kAnswerPrefix || byte_at(bytes, 1) != kUnitAddress ||
        byte_at(bytes, 2) != code::kConfigWrite ||
        !std::equal(
            tail.begin(), tail.end(), kConfigWriteTail.begin(),
            [](char b, std::uint8_t want) { return static_cast<std::uint8_t>(b) == want; })) {
        return refused(not_a_copy + "это не кадр записи конфигурации.");
    }
    if (check_byte(bytes) != 0)
        return refused(not_a_copy + "файл повреждён (не сходится контрольный байт).");
    TrackerConfig config = decode_config_answer(bytes);
    const auto layout = tracker_config_layout();
    // After position 165 the write frame carries its fixed tail, not a version or serial number.
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!layout[i].written()) config.values[i].reset();
    }
    if (std::string error = check_record(config, false); !error.empty()) return refused(error);
    return {std::move(config), {}};
}

LoadedProfile parse_profile_content(std::string_view content) {
    if (content.size() == kConfigFrameSize && byte_at(content, 0) == kAnswerPrefix) {
        return parse_config_copy(content);
    }
    return parse_profile(content);
}

LoadedProfile load_profile_file(const std::filesystem::path& path) {
    const std::string name = in_quotes(path_text(path));
    std::string content;
    if (std::string reason = read_file_bounded(path, kProfileSizeLimit, content); !reason.empty()) {
        return refused("Не удалось прочитать файл " + name + ": " + reason + ".");
    }
    LoadedProfile loaded = parse_profile_content(content);
    if (!loaded) loaded.error = "Файл " + name + " не загружен. " + loaded.error;
    return loaded;
}

std::string check_values(const TrackerConfig& config) {
    return check_record(config, false);
}

std::string profile_text(const TrackerConfig& config) {
    const TrackerConfig canonical = written_form(config).value_or(config);
    const auto& values = canonical.values;

    Json json;
    json[std::string(kFormatKey)] = kProfileFormat;
    for (const KeyRow& k : kRecordKeys) {
        const auto& value = values[row_of(k.control)];
        switch (k.type) {
            case ValueType::Text:
                json[std::string(k.key)] = text_of(value);
                break;
            case ValueType::Integer:
                json[std::string(k.key)] = decimal(value).value_or(0);
                break;
            case ValueType::Mode:
                json[std::string(k.key)] = number_of(value);
                break;
            case ValueType::Bool:
                json[std::string(k.key)] = number_of(value) != 0;
                break;
        }
    }
    Json channels = Json::array();
    for (std::size_t c = 0; c < kChannelCount; ++c) {
        Json channel;
        channel[std::string(kEnabledKey)] = number_of(values[row_of(ctl::channel_check[c])]) != 0;
        channel[std::string(kAddressKey)] =
            decimal(values[row_of(ctl::channel_address[c])]).value_or(0);
        channels.push_back(std::move(channel));
    }
    json[std::string(kChannelsKey)] = std::move(channels);
    for (const InfoKey& k : kInfoKeys) {
        const auto n = decimal(values[row_of(k.control)]);
        if (n && *n <= k.max) json[std::string(k.key)] = *n;
    }
    // Texts come from the code page or passed its check, so they are well-formed UTF-8; a
    // malformed byte would be replaced rather than stop the save.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string profile_key_of_row(std::size_t row) {
    return row < row_keys().size() ? row_keys()[row] : std::string();
}

std::optional<TrackerConfig> as_read_back_after_write(const TrackerConfig& config) {
    return written_form(config);
}

std::string profile_shown_value(const std::optional<FieldValue>& value, FieldKind kind) {
    return shown_value(value, kind);
}

}  // namespace velkon
