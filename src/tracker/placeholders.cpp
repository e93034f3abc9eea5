#include "tracker/placeholders.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace velkon {

namespace {

constexpr std::string_view kNames[] = {"imei", "sim", "serial", "port"};
constexpr std::string_view kForms =
    "подстановки пишутся как {imei}, {sim}, {serial}, {port}, а их последние N знаков — как "
    "{imei:10}.";

std::string in_guillemets(std::string_view text) {
    return "«" + std::string(text) + "»";
}

struct Placeholder {
    std::size_t begin = 0, end = 0;  // the braces included
    std::string_view name;
    std::optional<std::size_t> last;  // {imei:10}: its count
};

// The placeholders of a text, or why its braces are not all placeholders.
struct Scan {
    std::vector<Placeholder> found;
    std::string problem;
};

// The wrong piece from a brace: up to the closing brace, or to the next opening one or the end.
std::string_view wrong_piece(std::string_view text, std::size_t at) {
    if (text[at] == '}') return text.substr(at, 1);
    const std::size_t close = text.find_first_of("{}", at + 1);
    if (close == std::string_view::npos) return text.substr(at);
    return text.substr(at, close - at + (text[close] == '}' ? 1 : 0));
}

std::optional<Placeholder> placeholder_at(std::string_view text, std::size_t open) {
    const std::size_t close = text.find('}', open);
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view inside = text.substr(open + 1, close - open - 1);
    const std::size_t colon = inside.find(':');
    const std::string_view name = inside.substr(0, colon);
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
        return std::nullopt;
    }
    Placeholder p{open, close + 1, name, std::nullopt};
    if (colon == std::string_view::npos) return p;
    const std::string_view digits = inside.substr(colon + 1);
    std::size_t n = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
    const bool all_digits =
        std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits.empty() || !all_digits || ec != std::errc{} || end != digits.data() + digits.size())
        return std::nullopt;
    p.last = n;
    return p;
}

Scan scan(std::string_view text) {
    Scan out;
    for (std::size_t at = text.find_first_of("{}"); at != std::string_view::npos;
         at = text.find_first_of("{}", at)) {
        const auto p = text[at] == '{' ? placeholder_at(text, at) : std::nullopt;
        if (!p) {
            out.problem = "неизвестная подстановка " + in_guillemets(wrong_piece(text, at)) + "; " +
                          std::string(kForms);
            return out;
        }
        if (p->last && *p->last == 0) {
            out.problem = "в подстановке " +
                          in_guillemets(text.substr(p->begin, p->end - p->begin)) +
                          " нужно число знаков от 1.";
            return out;
        }
        out.found.push_back(*p);
        at = p->end;
    }
    return out;
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

std::optional<std::string> value_for(std::string_view name, const UnitValues& unit) {
    if (name == "imei") return unit.imei;
    if (name == "sim") return unit.sim;
    if (name == "serial") return unit.serial;
    return unit.port ? std::optional(port_placeholder_value(*unit.port)) : std::nullopt;
}

std::string why_missing(std::string_view name, const UnitValues& unit) {
    if (!unit.why_missing.empty()) return unit.why_missing;
    if (name == "imei") return "IMEI трекера не прочитан. Нажмите «Читать SIM».";
    if (name == "sim") return "номер SIM трекера не прочитан. Нажмите «Читать SIM».";
    if (name == "serial") return "серийный номер трекера не прочитан. Нажмите «Читать».";
    return "порт не открыт.";
}

// The text filled, or the refusal.
struct FilledText {
    std::string text;
    std::string refusal;
};

FilledText fill_text(const std::string& text, const UnitValues& unit) {
    const Scan s = scan(text);
    if (!s.problem.empty()) return {{}, s.problem};
    FilledText out;
    std::size_t at = 0;
    for (const Placeholder& p : s.found) {
        const std::string shown =
            in_guillemets(std::string_view(text).substr(p.begin, p.end - p.begin));
        const auto value = value_for(p.name, unit);
        if (!value)
            return {{}, "подстановку " + shown + " нечем заполнить: " + why_missing(p.name, unit)};
        if (p.last && character_count(*value) < *p.last) {
            return {{},
                    "подстановке " + shown + " нужно " + std::to_string(*p.last) +
                        " знаков, а у трекера только " + std::to_string(character_count(*value)) +
                        " (" + in_guillemets(*value) + ")."};
        }
        out.text +=
            text.substr(at, p.begin - at) + (p.last ? last_characters(*value, *p.last) : *value);
        at = p.end;
    }
    out.text += text.substr(at);
    return out;
}

}  // namespace

std::string placeholder_problem(std::string_view text) {
    return scan(text).problem;
}

bool holds_placeholder(std::string_view text) {
    return text.find_first_of("{}") != std::string_view::npos;
}

FilledRecord fill_placeholders(const TrackerConfig& config, const UnitValues& unit) {
    FilledRecord out;
    TrackerConfig filled = config;
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].kind != FieldKind::Text || !filled.values[i]) continue;
        auto* text = std::get_if<std::string>(&*filled.values[i]);
        if (!text || !holds_placeholder(*text)) continue;
        FilledText f = fill_text(*text, unit);
        if (!f.refusal.empty()) {
            out.field = i;
            out.refusal = std::move(f.refusal);
            return out;
        }
        *text = std::move(f.text);
    }
    out.config = std::move(filled);
    return out;
}

TrackerConfig with_stand_ins(const TrackerConfig& config) {
    TrackerConfig out = config;
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].kind != FieldKind::Text || !out.values[i]) continue;
        auto* text = std::get_if<std::string>(&*out.values[i]);
        if (!text) continue;
        const Scan s = scan(*text);
        if (!s.problem.empty() || s.found.empty()) continue;
        std::string plain;
        std::size_t at = 0;
        for (const Placeholder& p : s.found) {
            plain += text->substr(at, p.begin - at) +
                     std::string(std::min<std::size_t>(p.last.value_or(1), 64), '1');
            at = p.end;
        }
        *text = plain + text->substr(at);
    }
    return out;
}

std::string port_placeholder_value(const std::string& port) {
    constexpr std::string_view kDev = "/dev/";
    return port.rfind(kDev, 0) == 0 ? port.substr(kDev.size()) : port;
}

}  // namespace velkon
