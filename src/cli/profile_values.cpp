#include "cli/profile_values.h"

#include <charconv>
#include <functional>
#include <nlohmann/json.hpp>

#include "files/file_error.h"
#include "files/file_read.h"
#include "profile/profile.h"
#include "protocol/frame.h"
#include "tracker/placeholders.h"

namespace velkon::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kProfileSizeLimit = 1024 * 1024;
constexpr std::size_t kChannels = 8;
std::string in_guillemets(std::string_view text) {
    return "«" + std::string(text) + "»";
}

// The value of `key` in the profile's object, or why there is none ("" for a key it lacks).
Json* key_target(Json& json, const std::string& key, std::string& problem) {
    unsigned channel = 0;
    char field[16] = {};
    int used = 0;
    if (std::sscanf(key.c_str(), "channels[%u].%15[a-z]%n", &channel, field, &used) == 2 &&
        static_cast<std::size_t>(used) == key.size()) {
        if (channel >= kChannels) {
            problem = "Ключ " + in_guillemets(key) + ": каналы нумеруются от 0 до 7.";
            return nullptr;
        }
        Json& channels = json["channels"];
        if (channels.is_array() && channel < channels.size() && channels[channel].is_object() &&
            channels[channel].contains(field)) {
            return &channels[channel][field];
        }
    } else if (key != "format" && key != "channels" && key != "firmware_version" &&
               key != "serial_number" && json.contains(key)) {
        return &json[key];
    }
    return nullptr;
}

// Applies one "key=value" to the profile's object; "" or why not.
std::string apply_set(Json& json, const std::string& set) {
    const auto eq = set.find('=');
    if (eq == std::string::npos || eq == 0) {
        return "После --set нужно «ключ=значение», а не " + in_guillemets(set) + ".";
    }
    const std::string key = set.substr(0, eq);
    const std::string text = set.substr(eq + 1);
    std::string problem;
    Json* target = key_target(json, key, problem);
    if (!problem.empty()) return problem;
    if (!target) return "Неизвестный ключ " + in_guillemets(key) + " в --set.";
    if (target->is_string()) {
        *target = text;
    } else if (target->is_boolean()) {
        if (text != "true" && text != "false") {
            return "Ключ " + in_guillemets(key) + ": ожидается true или false, а не " +
                   in_guillemets(text) + ".";
        }
        *target = text == "true";
    } else {
        long long n = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
        if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
            return "Ключ " + in_guillemets(key) + ": ожидается целое число, а не " +
                   in_guillemets(text) + ".";
        }
        *target = n;
    }
    return {};
}

// The template of a profile's object once its values are set: placeholders are checked for
// their form, the rest of a text as a unit's stand-in value. `before` leads a refusal.
ProfileTemplate checked_template(const Json& json, const std::string& before) {
    ProfileTemplate out;
    if (const LoadedProfile checked = parse_profile(json.dump()); !checked) {
        out.error = before + checked.error;
        return out;
    }
    for (const auto& [key, value] : json.items()) {
        if (!value.is_string() || key == "format") continue;
        const std::string& text = value.get_ref<const std::string&>();
        out.uses_imei_or_sim |=
            text.find("{imei") != std::string::npos || text.find("{sim") != std::string::npos;
        out.uses_serial |= text.find("{serial") != std::string::npos;
    }
    out.json = json.dump();
    return out;
}

}  // namespace

ProfileTemplate load_profile_template(const std::filesystem::path& path,
                                      const std::vector<std::string>& sets) {
    ProfileTemplate out;
    const std::string name = in_guillemets(path_text(path));
    std::string content;
    if (std::string reason = read_file_bounded(path, kProfileSizeLimit, content); !reason.empty()) {
        out.error = "Не удалось прочитать файл " + name + ": " + reason + ".";
        return out;
    }
    // The profile's own checks say what is wrong with a file; placeholders are texts to them.
    const LoadedProfile loaded = parse_profile_content(content);
    if (!loaded) {
        out.error = "Файл " + name + " не загружен. " + loaded.error;
        return out;
    }
    // A copy of the written frame becomes the profile of its record.
    Json json = Json::parse(profile_text(*loaded.config));
    if (content.size() != kConfigFrameSize || byte_at(content, 0) != kAnswerPrefix) {
        json = Json::parse(content);
    }
    for (const std::string& set : sets) {
        if (std::string problem = apply_set(json, set); !problem.empty()) {
            out.error = problem;
            return out;
        }
    }
    out = checked_template(json, sets.empty() ? "Файл " + name + " не загружен. "
                                              : std::string("Профиль после --set: "));
    return out;
}

bool is_profile_key(const ProfileTemplate& profile, const std::string& key) {
    Json json = Json::parse(profile.json);
    std::string problem;
    return key_target(json, key, problem) != nullptr;
}

ProfileTemplate with_values(const ProfileTemplate& profile,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    Json json = Json::parse(profile.json);
    for (const auto& [key, value] : values) {
        if (std::string problem = apply_set(json, key + "=" + value); !problem.empty()) {
            ProfileTemplate out;
            out.error = problem;
            return out;
        }
    }
    return checked_template(json, "");
}

std::string value_text(const std::optional<FieldValue>& value, FieldKind kind) {
    if (kind == FieldKind::Text || !value) return text_of(value);
    return profile_shown_value(value, kind);
}

FilledProfile fill_profile(const ProfileTemplate& profile, const UnitFacts& unit) {
    FilledProfile out;
    LoadedProfile loaded = parse_profile(profile.json);
    if (!loaded) {
        out.refusal = "Профиль не принят. " + loaded.error;
        return out;
    }
    const FilledRecord filled = fill_placeholders(
        *loaded.config, {unit.imei, unit.sim, unit.serial, unit.port, unit.why_missing});
    if (!filled) {
        out.key = profile_key_of_row(filled.field);
        out.refusal = "Ключ " + in_guillemets(out.key) + ": " + filled.refusal;
        return out;
    }
    if (const ConfigFrame built = encode_config_frame(*filled.config); !built) {
        out.key = profile_key_of_row(built.field);
        out.refusal =
            "Заполненный профиль не принят. Ключ " + in_guillemets(out.key) + ": " + built.refusal;
        return out;
    }
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        const auto* text = loaded.config->values[i]
                               ? std::get_if<std::string>(&*loaded.config->values[i])
                               : nullptr;
        if (layout[i].kind != FieldKind::Text || !text || !holds_placeholder(*text)) continue;
        out.filled.emplace_back(profile_key_of_row(i),
                                value_text(filled.config->values[i], layout[i].kind));
    }
    out.config = std::move(filled.config);
    return out;
}

}  // namespace velkon::cli
