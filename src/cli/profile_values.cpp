#include "cli/profile_values.h"

#include <charconv>
#include <functional>
#include <nlohmann/json.hpp>

#include "files/file_read.h"
#include "profile/profile.h"
#include "protocol/frame.h"

namespace velkon::cli {

namespace {

using Json = nlohmann::ordered_json;

constexpr std::size_t kProfileSizeLimit = 1024 * 1024;
constexpr std::size_t kChannels = 8;
constexpr const char* kNames[] = {"imei", "sim", "serial", "port"};

std::string in_guillemets(std::string_view text) {
    return "«" + std::string(text) + "»";
}

struct Placeholder {
    std::size_t begin = 0, end = 0;  // the braces included
    std::string name;
    std::optional<std::size_t> last;  // {name:N}
};

bool is_lower(char c) {
    return c >= 'a' && c <= 'z';
}

// The next `{word}` or `{word:N}` from `from`; other braces are plain text.
std::optional<Placeholder> next_placeholder(const std::string& text, std::size_t from) {
    for (std::size_t open = text.find('{', from); open != std::string::npos;
         open = text.find('{', open + 1)) {
        std::size_t i = open + 1;
        while (i < text.size() && is_lower(text[i])) ++i;
        if (i == open + 1 || i >= text.size()) continue;
        Placeholder p{open, 0, text.substr(open + 1, i - open - 1), std::nullopt};
        if (text[i] == ':') {
            const std::size_t digits = ++i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(text.data() + digits, text.data() + i, n);
            if (i == digits || ec != std::errc{} || end != text.data() + i) continue;
            p.last = n;
        }
        if (i >= text.size() || text[i] != '}') continue;
        p.end = i + 1;
        return p;
    }
    return std::nullopt;
}

// Every text of the profile, with the key it belongs to ("channels" holds no texts).
void each_text(Json& json, const std::function<void(const std::string&, Json&)>& visit) {
    for (auto& [key, value] : json.items()) {
        if (value.is_string() && key != "format") visit(key, value);
    }
}

// The characters of a UTF-8 text, counted from the end.
std::string last_characters(const std::string& text, std::size_t n) {
    std::size_t begin = text.size();
    for (std::size_t count = 0; begin > 0 && count < n; ++count) {
        --begin;
        while (begin > 0 && (static_cast<unsigned char>(text[begin]) & 0xC0) == 0x80) --begin;
    }
    return text.substr(begin);
}

std::size_t character_count(const std::string& text) {
    std::size_t n = 0;
    for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// Applies one "key=value" to the profile's object; "" or why not.
std::string apply_set(Json& json, const std::string& set) {
    const auto eq = set.find('=');
    if (eq == std::string::npos || eq == 0) {
        return "После --set нужно «ключ=значение», а не " + in_guillemets(set) + ".";
    }
    const std::string key = set.substr(0, eq);
    const std::string text = set.substr(eq + 1);
    Json* target = nullptr;
    unsigned channel = 0;
    char field[16] = {};
    int used = 0;
    if (std::sscanf(key.c_str(), "channels[%u].%15[a-z]%n", &channel, field, &used) == 2 &&
        static_cast<std::size_t>(used) == key.size()) {
        if (channel >= kChannels) {
            return "Ключ " + in_guillemets(key) + ": каналы нумеруются от 0 до 7.";
        }
        Json& channels = json["channels"];
        if (channels.is_array() && channel < channels.size() && channels[channel].is_object() &&
            channels[channel].contains(field)) {
            target = &channels[channel][field];
        }
    } else if (key != "format" && key != "channels" && key != "firmware_version" &&
               key != "serial_number" && json.contains(key)) {
        target = &json[key];
    }
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

}  // namespace

std::string port_placeholder_value(const std::string& port) {
    constexpr std::string_view kDev = "/dev/";
    return port.rfind(kDev, 0) == 0 ? port.substr(kDev.size()) : port;
}

ProfileTemplate load_profile_template(const std::filesystem::path& path,
                                      const std::vector<std::string>& sets) {
    ProfileTemplate out;
    const std::string name = in_guillemets(path.string());
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
    if (content.size() != kConfigFrameSize || byte_at(content, 0) != 0x3E) {
        json = Json::parse(content);
    }
    for (const std::string& set : sets) {
        if (std::string problem = apply_set(json, set); !problem.empty()) {
            out.error = problem;
            return out;
        }
    }
    Json blank = json;
    std::string problem;
    each_text(blank, [&](const std::string& key, Json& value) {
        std::string text = value.get<std::string>();
        std::string plain;
        std::size_t at = 0;
        while (const auto p = next_placeholder(text, at)) {
            const bool known =
                std::find(std::begin(kNames), std::end(kNames), p->name) != std::end(kNames);
            if (!known && problem.empty()) {
                problem = "Ключ " + in_guillemets(key) + ": неизвестная подстановка " +
                          in_guillemets(text.substr(p->begin, p->end - p->begin)) +
                          "; есть {imei}, {sim}, {serial}, {port} и {имя:N}.";
            }
            if (p->last && *p->last == 0 && problem.empty()) {
                problem = "Ключ " + in_guillemets(key) + ": в подстановке " +
                          in_guillemets(text.substr(p->begin, p->end - p->begin)) +
                          " нужно число знаков от 1.";
            }
            out.uses_imei_or_sim |= p->name == "imei" || p->name == "sim";
            out.uses_serial |= p->name == "serial";
            plain += text.substr(at, p->begin - at);
            at = p->end;
        }
        value = plain + text.substr(at);
    });
    if (!problem.empty()) {
        out.error = problem;
        return out;
    }
    if (const LoadedProfile checked = parse_profile(blank.dump()); !checked) {
        out.error = (sets.empty() ? "Файл " + name + " не загружен. " : "Профиль после --set: ") +
                    checked.error;
        return out;
    }
    out.json = json.dump();
    return out;
}

FilledProfile fill_profile(const ProfileTemplate& profile, const UnitFacts& unit) {
    FilledProfile out;
    Json json = Json::parse(profile.json);
    each_text(json, [&](const std::string& key, Json& value) {
        const std::string text = value.get<std::string>();
        std::string filled;
        std::size_t at = 0;
        while (const auto p = next_placeholder(text, at)) {
            std::optional<std::string> fact;
            if (p->name == "imei") fact = unit.imei;
            if (p->name == "sim") fact = unit.sim;
            if (p->name == "serial") fact = unit.serial;
            if (p->name == "port") fact = port_placeholder_value(unit.port);
            const std::string shown = in_guillemets(text.substr(p->begin, p->end - p->begin));
            if (out.refusal.empty() && !fact) {
                out.refusal = "Ключ " + in_guillemets(key) + ": подстановку " + shown +
                              " нечем заполнить" +
                              (unit.why_missing.empty() ? "." : ": " + unit.why_missing);
            } else if (out.refusal.empty() && p->last && character_count(*fact) < *p->last) {
                out.refusal = "Ключ " + in_guillemets(key) + ": подстановке " + shown + " нужно " +
                              std::to_string(*p->last) + " знаков, а у блока только " +
                              std::to_string(character_count(*fact)) + " (" + in_guillemets(*fact) +
                              ").";
            }
            if (fact)
                filled += text.substr(at, p->begin - at) +
                          (p->last ? last_characters(*fact, *p->last) : *fact);
            at = p->end;
        }
        value = filled + text.substr(at);
    });
    if (!out.refusal.empty()) return out;
    LoadedProfile loaded = parse_profile(json.dump());
    if (!loaded) {
        out.refusal = "Заполненный профиль не принят. " + loaded.error;
        return out;
    }
    out.config = std::move(loaded.config);
    return out;
}

}  // namespace velkon::cli
