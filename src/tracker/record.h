// The tracker unit's configuration record `TrackerConfig` and its byte layout.
//
// The layout is one table: each row is a field of the record with its place in the frame, its
// width, its kind and the window control that shows it. Reading an answer (code 0xA2) and
// building a write frame (code 0xA3) both walk that table, so a field's position is written down
// once. Positions count from 1 (position 1 is the leading 0x3E); positions 1..165 are shared by
// the answer and the write frame, after that they differ:
//   write frame: 166..168 fixed bytes A5 36 5B, 169 check byte (169 bytes in all);
//   read answer: 166..167 firmware version, 168..171 serial number (both big-endian).
//
// Plain C++: no window here. Values are in the window's terms (texts as UTF-8), and the
// conversion to and from the single-byte code page happens at this boundary.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/control_names.h"
#include "protocol/codes.h"
#include "protocol/frame.h"

namespace velkon {

enum class FieldKind {
    Text,     // code-page text padded with NUL bytes to the width; shown in a text box
    Period,   // send period, unsigned 16-bit little-endian; 10..1000 when written
    Mode,     // input mode byte; 1..3 select the option buttons `options`
    Flag,     // one bit (`mask`) of a byte shared with other flags; shown by a check box
    Address,  // RS-485 address byte; 0..200 when written
    Version,  // firmware version, unsigned 16-bit big-endian; read answer only
    Serial,   // serial number, unsigned 32-bit big-endian; read answer only
};

// What a text field may hold besides characters of the code page (no control characters in any).
enum class TextRule {
    Any,
    Port,  // a server port 1..65535 in at most 5 digits (the unit keeps 5); empty with no server
    Host,  // a host name (letters, digits, '-', '.') or an IPv4 address; may be empty
    Pin,   // digits only; may be empty
};

struct ConfigField {
    ControlName control;       // the window control (for Mode: the frame of its option buttons)
    std::string_view caption;  // how a refusal names the field
    std::size_t position;      // first byte, counted from 1
    std::size_t width;         // bytes in the frame
    FieldKind kind;
    std::uint8_t mask = 0;  // Flag: its bit
    std::size_t shown = 0;  // Text: how many of its bytes a read shows (0: all of them)
    std::array<ControlName, 3> options{};  // Mode: the option buttons of modes 1..3
    TextRule rule = TextRule::Any;         // Text: what the text may hold

    // Whether the write frame carries the field (version and serial number are read only).
    bool written() const { return kind != FieldKind::Version && kind != FieldKind::Serial; }
    // Whether the window shows the value as the text of a text box or label.
    bool as_text() const { return kind != FieldKind::Mode && kind != FieldKind::Flag; }
    // The bytes a read needs to show the field.
    std::size_t read_width() const { return shown ? shown : width; }
};

// The record's fields in frame order.
std::span<const ConfigField> tracker_config_layout();

// The messages of a refused write.
inline constexpr const char* kPeriodRangeMessage =
    "Значения периода отправки могут быть от 10 до 1000";
inline constexpr const char* kAddressRangeMessage = "Значения адресов могут быть от 0 до 200";
inline constexpr const char* kPortRangeMessage =
    "Значения порта сервера могут быть от 1 до 65535 (не больше 5 цифр)";

// One value in the window's terms: the text of the field's text box or label (a number in
// decimal), or, for a Mode or Flag field, the number behind its option buttons (0..255, 0 when
// none is selected) or check box (0 or 1).
using FieldValue = std::variant<std::string, std::uint32_t>;

// The record: one value per row of the layout, in its order. A value read from a short answer
// may be missing.
struct TrackerConfig {
    std::vector<std::optional<FieldValue>> values;

    TrackerConfig();  // every value missing
    bool operator==(const TrackerConfig&) const = default;
};

// The record carried by a read answer. A field whose bytes the answer holds only in part, or not
// at all, stays missing: half a number or half a text would show a value the unit does not hold.
TrackerConfig decode_config_answer(std::string_view answer);

// The write frame of a record, or the reason it is refused (the first failing field in frame
// order: a text too long for its field, holding a character the code page lacks or a control
// character, or not of its field's kind (port, host, PIN), the send period, then the addresses
// in channel order). A missing value counts as empty or 0.
struct ConfigFrame {
    Frame frame;            // 169 bytes; empty when refused
    std::string refusal;    // the message for the user when refused
    std::size_t field = 0;  // when refused: the layout row of the value refused
    explicit operator bool() const { return !frame.empty(); }
};
ConfigFrame encode_config_frame(const TrackerConfig& config);

// A value as text (a number in decimal; "" when missing), and as a number (a Mode or Flag value;
// 0 when missing or a text).
std::string text_of(const std::optional<FieldValue>& value);
std::uint32_t number_of(const std::optional<FieldValue>& value);

}  // namespace velkon
