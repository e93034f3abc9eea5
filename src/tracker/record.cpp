#include "tracker/record.h"

#include <array>
#include <cstdlib>

#include "protocol/cp1251.h"
#include "protocol/number.h"

namespace velkon {

namespace {

using K = FieldKind;

constexpr ConfigField text(ControlName control, std::string_view caption, std::size_t position,
                           std::size_t width, std::size_t shown = 0) {
    return {control, caption, position, width, K::Text, 0, shown};
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
    text(ctl::pincod, "Пин код SIM", 75, 5),
    text(ctl::ip_serv, "Адрес сервера", 80, 25),
    text(ctl::port_serv, "Порт", 105, 6, 5),  // the unit's answer is read up to 5 digits
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

constexpr std::array<std::uint8_t, 4> kWriteHead = {0x3E, 0xCA, 0xA3, kConfigFormatByte};
constexpr std::array<std::uint8_t, 3> kWriteTail = {0xA5, 0x36, 0x5B};
constexpr std::size_t kWriteTailPosition = 166;

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

// Why a text does not fit its field, or nothing when it does; `out` receives its bytes.
std::optional<std::string> encode_text(const ConfigField& field, const std::string& text,
                                       std::string& out) {
    const std::string name = "«" + std::string(field.caption) + "»";
    const auto bytes = utf8_to_cp1251(text);
    if (!bytes) {
        const std::string foreign = first_foreign_character(text);
        if (foreign.empty()) return "Текст поля " + name + " не читается. Введите его заново.";
        return "В тексте поля " + name + " есть символ «" + foreign +
               "», который нельзя передать в трекер. Замените его.";
    }
    if (bytes->size() > field.width) {
        return "Текст поля " + name + " длиннее " + std::to_string(field.width) +
               " символов. Сократите его.";
    }
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
std::optional<std::string> encode_field(const ConfigField& field,
                                        const std::optional<FieldValue>& value, Frame& body) {
    char* at = body.data() + field.position - 1;
    switch (field.kind) {
        case K::Text: {
            std::string bytes;
            if (auto refusal = encode_text(field, text_of(value), bytes)) return refusal;
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
    for (std::size_t i = 0; i < kLayout.size(); ++i) {
        if (!kLayout[i].written()) continue;
        if (auto refusal = encode_field(kLayout[i], config.values.at(i), body)) {
            return {Frame(), std::move(*refusal), i};
        }
    }
    for (std::size_t i = 0; i < kWriteTail.size(); ++i) {
        body[kWriteTailPosition - 1 + i] = static_cast<char>(kWriteTail[i]);
    }
    return {Control_summ(body), std::string()};
}

}  // namespace velkon
