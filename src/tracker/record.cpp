#include "tracker/record.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "protocol/cp1251.h"
#include "protocol/number.h"

namespace velkon {

namespace {

using K = FieldKind;

constexpr ConfigField text(ControlName control, std::string_view caption, std::size_t position,
                           std::size_t width, TextRule rule = TextRule::Any,
                           std::size_t shown = 0) {
    return {control, caption, position, width, K::Text, 0, shown, {}, rule};
}
constexpr ConfigField flag(ControlName control, std::string_view caption, std::size_t position,
                           std::uint8_t mask) {
    return {control, caption, position, 1, K::Flag, mask};
}
constexpr ConfigField mode(ControlName frame, std::string_view caption, std::size_t position,
                           std::array<ControlName, 3> options) {
    return {frame, caption, position, 1, K::Mode, 0, 0, options};
}

// The frame: 3E CA code format, then these fields, then the tail of the write frame or of the
// answer. Check1 and EGTS_prot share the byte at 150.
constexpr std::array<ConfigField, 30> kLayout = {{
    text(ctl::apn, "Точка доступа", 5, 30),
    text(ctl::gsm_user, "Пользователь", 35, 20),
    text(ctl::gdm_pwd, "Пароль", 55, 20),
    text(ctl::pincod, "Пин код SIM", 75, 5, TextRule::Pin),
    text(ctl::ip_serv, "Адрес сервера", 80, 25, TextRule::Host),
    // The unit's answer is read up to 5 digits.
    text(ctl::port_serv, "Порт", 105, 6, TextRule::Port, 5),
    text(ctl::id_dev, "Идентификатор устройства", 111, 10),
    text(ctl::pwd_serv, "Пароль доступа к устройству", 121, 25),
    {ctl::time_otpr, "Период отправки", 146, 2, K::Period},
    mode(ctl::Frame11, "Режим 1 входа", 148, {ctl::r11, ctl::r12, ctl::r13}),
    mode(ctl::Frame12, "Режим 2 входа", 149, {ctl::r21, ctl::r22, ctl::r23}),
    flag(ctl::Check1, "1 канал", 150, 0x01),
    flag(ctl::EGTS_prot, "Протокол ЕГТС", 150, 0x80),
    flag(ctl::Check2, "2 канал", 151, 0x01),
    flag(ctl::Check3, "3 канал", 152, 0x01),
    flag(ctl::Check4, "4 канал", 153, 0x01),
    flag(ctl::Check5, "5 канал", 154, 0x01),
    flag(ctl::Check6, "6 канал", 155, 0x01),
    flag(ctl::Check7, "7 канал", 156, 0x01),
    flag(ctl::Check8, "8 канал", 157, 0x01),
    {ctl::ad1, "Адрес 1 канала", 158, 1, K::Address},
    {ctl::ad2, "Адрес 2 канала", 159, 1, K::Address},
    {ctl::ad3, "Адрес 3 канала", 160, 1, K::Address},
    {ctl::ad4, "Адрес 4 канала", 161, 1, K::Address},
    {ctl::ad5, "Адрес 5 канала", 162, 1, K::Address},
    {ctl::ad6, "Адрес 6 канала", 163, 1, K::Address},
    {ctl::ad7, "Адрес 7 канала", 164, 1, K::Address},
    {ctl::ad8, "Адрес 8 канала", 165, 1, K::Address},
    {ctl::vPo, "Версия ПО", 166, 2, K::Version},
    {ctl::sern, "Серийный номер", 168, 4, K::Serial},
}};

constexpr std::array<std::uint8_t, 4> kWriteHead = {kAnswerPrefix, kUnitAddress, code::kConfigWrite,
                                                    kConfigFormatByte};

FieldValue decode_field(const ConfigField& field, std::string_view bytes) {
    switch (field.kind) {
        case K::Text:
            return cp1251_to_utf8(bytes.substr(0, bytes.find('\0')));
        case K::Period:
            return std::to_string(little_endian_at(bytes, 0, bytes.size()));
        case K::Mode:
            return std::uint32_t{byte_at(bytes, 0)};
        case K::Flag:
            return std::uint32_t{(byte_at(bytes, 0) & field.mask) ? 1u : 0u};
        case K::Address:
        case K::Version:
        case K::Serial:
            return std::to_string(big_endian_at(bytes, 0, bytes.size()));
    }
    std::abort();
}

// Whether `one` is one whole, well-formed character of `length` bytes. An overlong form or a
// surrogate is malformed rather than foreign: quoting it would put invalid UTF-8 in the message.
bool well_formed(std::string_view one, std::size_t length) {
    return length >= 2 && one.size() == length && utf8_well_formed(one);
}

// The first character of a UTF-8 text that the code page cannot hold, or "" when the text is
// malformed rather than foreign.
std::string first_foreign_character(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = byte_at(utf8, i);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::string_view one = utf8.substr(i, length);
        if (!utf8_to_cp1251(one)) {
            return well_formed(one, length) ? std::string(one) : std::string();
        }
        i += length;
    }
    return {};
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool all_digits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), is_digit);
}

// A letter of a host name in the code page: Latin, or Cyrillic (А..я, Ё, ё).
bool is_host_letter(char c) {
    const auto code = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || code >= 0xC0 || code == 0xA8 ||
           code == 0xB8;
}

// The dot-separated parts of a text, empty ones included.
std::vector<std::string_view> labels_of(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0;;) {
        const std::size_t dot = text.find('.', at);
        out.push_back(text.substr(at, dot == std::string_view::npos ? dot : dot - at));
        if (dot == std::string_view::npos) return out;
        at = dot + 1;
    }
}

// Digits and dots only: an IPv4 address, four numbers 0..255.
bool is_ipv4(std::string_view text) {
    const auto parts = labels_of(text);
    if (parts.size() != 4) return false;
    return std::all_of(parts.begin(), parts.end(), [](std::string_view part) {
        if (part.empty() || part.size() > 3 || !all_digits(part)) return false;
        return std::stoi(std::string(part)) <= 255;
    });
}

// A host name: labels of 1..63 letters, digits and '-', not starting or ending with '-'.
bool is_host_name(std::string_view text) {
    const auto labels = labels_of(text);
    return std::all_of(labels.begin(), labels.end(), [](std::string_view label) {
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
            return false;
        return std::all_of(label.begin(), label.end(),
                           [](char c) { return is_digit(c) || c == '-' || is_host_letter(c); });
    });
}

// Why a text (in code-page bytes) is not of its field's kind, or nothing. An empty server and an
// empty PIN are what a unit not set up holds, so they stay allowed; a port without a server too.
std::optional<std::string> rule_refusal(const ConfigField& field, std::string_view bytes,
                                        bool server_given) {
    const std::string name = "«" + std::string(field.caption) + "»";
    switch (field.rule) {
        case TextRule::Any:
            return std::nullopt;
        case TextRule::Port: {
            if (bytes.empty() && !server_given) return std::nullopt;
            if (bytes.empty() || bytes.size() > 5 || !all_digits(bytes)) return kPortRangeMessage;
            const int port = std::stoi(std::string(bytes));
            if (port < 1 || port > 65535) return kPortRangeMessage;
            return std::nullopt;
        }
        case TextRule::Host: {
            if (bytes.empty()) return std::nullopt;
            const bool numeric = std::all_of(bytes.begin(), bytes.end(),
                                             [](char c) { return is_digit(c) || c == '.'; });
            if (numeric ? is_ipv4(bytes) : is_host_name(bytes)) return std::nullopt;
            return "Текст поля " + name +
                   " должен быть именем сервера (буквы, цифры, «-» и «.») или IPv4-адресом "
                   "вида 203.0.113.10.";
        }
        case TextRule::Pin:
            if (all_digits(bytes)) return std::nullopt;
            return "Текст поля " + name + " может содержать только цифры.";
    }
    std::abort();
}

// Why a text does not fit its field, or nothing when it does; `out` receives its bytes.
std::optional<std::string> encode_text(const ConfigField& field, const std::string& text,
                                       bool server_given, std::string& out) {
    const std::string name = "«" + std::string(field.caption) + "»";
    const auto bytes = utf8_to_cp1251(text);
    if (!bytes) {
        const std::string foreign = first_foreign_character(text);
        if (foreign.empty()) return "Текст поля " + name + " не читается. Введите его заново.";
        return "В тексте поля " + name + " есть символ «" + foreign +
               "», который нельзя передать в трекер. Замените его.";
    }
    for (const char c : *bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x20 || code == 0x7F) {
            return "В тексте поля " + name + " есть управляющий символ (код " +
                   std::to_string(code) + "), который нельзя передать в трекер. Уберите его.";
        }
    }
    if (bytes->size() > field.width) {
        return "Текст поля " + name + " длиннее " + std::to_string(field.width) +
               " символов. Сократите его.";
    }
    if (auto refusal = rule_refusal(field, *bytes, server_given)) return refusal;
    out = *bytes;
    return std::nullopt;
}

// A number typed by the user within [low, high], or nothing (not a number, or out of range).
std::optional<std::uint32_t> typed_number(const std::string& text, std::int64_t low,
                                          std::int64_t high) {
    const auto value = to_integer(text, IntWidth::Int16);
    if (!value || *value < low || *value > high) return std::nullopt;
    return static_cast<std::uint32_t>(*value);
}

// Puts one written field into the frame body; returns the refusal when its value does not fit.
// `server_given`: whether the record names a server, which then needs a port.
std::optional<std::string> encode_field(const ConfigField& field,
                                        const std::optional<FieldValue>& value, bool server_given,
                                        Frame& body) {
    char* at = body.data() + field.position - 1;
    switch (field.kind) {
        case K::Text: {
            std::string bytes;
            if (auto refusal = encode_text(field, text_of(value), server_given, bytes))
                return refusal;
            bytes.copy(at, bytes.size());
            return std::nullopt;
        }
        case K::Period: {
            const auto period = typed_number(text_of(value), 10, 1000);
            if (!period) return kPeriodRangeMessage;
            at[0] = static_cast<char>(*period & 0xFF);
            at[1] = static_cast<char>(*period >> 8);
            return std::nullopt;
        }
        case K::Mode:
            at[0] = static_cast<char>(number_of(value) & 0xFF);
            return std::nullopt;
        case K::Flag:
            if (number_of(value))
                at[0] = static_cast<char>(byte_at(body, field.position - 1) | field.mask);
            return std::nullopt;
        case K::Address: {
            const auto address = address_from_text(text_of(value));
            if (!address) return kAddressRangeMessage;
            at[0] = static_cast<char>(*address);
            return std::nullopt;
        }
        case K::Version:
        case K::Serial:
            return std::nullopt;
    }
    std::abort();
}

}  // namespace

std::string text_of(const std::optional<FieldValue>& value) {
    if (!value) return {};
    if (const auto* s = std::get_if<std::string>(&*value)) return *s;
    return std::to_string(std::get<std::uint32_t>(*value));
}

std::uint32_t number_of(const std::optional<FieldValue>& value) {
    if (!value) return 0;
    if (const auto* n = std::get_if<std::uint32_t>(&*value)) return *n;
    return 0;
}

std::span<const ConfigField> tracker_config_layout() {
    return kLayout;
}

TrackerConfig::TrackerConfig() : values(kLayout.size()) {}

TrackerConfig decode_config_answer(std::string_view answer) {
    TrackerConfig config;
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        const ConfigField& field = kLayout[i];
        const std::size_t first = field.position - 1;
        if (answer.size() < first + field.read_width()) continue;
        config.values[i] = decode_field(field, answer.substr(first, field.read_width()));
    }
    return config;
}

ConfigFrame encode_config_frame(const TrackerConfig& config) {
    Frame body(kConfigFrameSize - 1, '\0');
    for (std::size_t i = 0; i < kWriteHead.size(); ++i) body[i] = static_cast<char>(kWriteHead[i]);
    bool server_given = false;
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (kLayout[i].rule == TextRule::Host) server_given = !text_of(config.values.at(i)).empty();
    }
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (!kLayout[i].written()) continue;
        if (auto refusal = encode_field(kLayout[i], config.values.at(i), server_given, body)) {
            return {Frame(), std::move(*refusal), i};
        }
    }
    for (std::size_t i = 0; i < kConfigWriteTail.size(); ++i) {
        body[kConfigWriteTailPosition - 1 + i] = static_cast<char>(kConfigWriteTail[i]);
    }
    return {Control_summ(body), std::string()};
}

}  // namespace velkon
