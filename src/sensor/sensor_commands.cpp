// The sensor command set: every command the window sends to the fuel level sensor, and the
// service commands that go to the unit in the same frame format.
//
// The commands differ only in data, so they are rows of one table run by one routine. A command
// never touches the port: it leaves one complete frame in `wrs` for the next exchange tick.
//
// The selected sensor is the selected entry of `CmbNet` taken as a byte. An entry that is not a
// number 0..255 counts as no selection: its address could not be put into a frame, so every
// command treats it the way it treats an empty selection.
#include "sensor/sensor_commands.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/codes.h"
#include "protocol/number.h"
#include "sensor/mode_byte.h"

namespace velkon {

namespace {

// Where the frame's first two bytes come from.
enum class Address {
    Sensor01,  // 31 01
    Selected,  // 31, the selected sensor's address
    Unit,      // 3E CA, the tracker unit
    Poll,      // 31 FF, the network poll
};

// What a command does when no sensor is selected.
enum class NoSensor {
    Ignored,  // it needs no selection
    Silent,   // it ends without a word, before anything is asked
    Refused,  // it shows its message after its questions and input
};

enum class Echo {
    No,
    Yes,
    EvenWhenRefused,  // also after the no-sensor message (then of the empty `wrs`)
};

// Where a command's value comes from.
enum class Source {
    None,
    Input,      // the text typed into the command's input box
    Box,        // the text of a control
    NextAfter,  // the text of a control plus 1; an empty text means nothing happens
    Modes,      // the mode controls
};

enum class Encoding {
    None,
    Byte,     // one byte
    Long,     // 32-bit value, most significant byte first
    Shift,    // 16-bit two's complement, high byte first
    ModeByte  // one byte composed from the mode controls
};

struct InputBox {
    std::string_view prompt;
    std::string_view title;
    std::string_view initial;
    bool initial_is_selection = false;  // the selected `CmbNet` entry's text instead
};

struct Value {
    Source source = Source::None;
    ControlName control{};  // for Box and NextAfter
    Encoding encoding = Encoding::None;
    std::int64_t low = 0;
    std::int64_t high = 0;
    // Shown for a value out of range or a text that is no number of the encoding's width.
    // A shift has none for the latter: such a text ends the command silently.
    std::string_view range_text{};
};

}  // namespace

struct SensorCommand {
    SensorCommandId id;
    Address address = Address::Sensor01;
    std::optional<std::uint8_t> code;  // none for the network poll
    bool clears = false;               // `wrs` is emptied before anything else
    NoSensor no_sensor = NoSensor::Ignored;
    std::string_view no_sensor_text{};
    bool needs_readings = false;  // refused while `tek` still shows its initial text
    std::string_view question{};  // a Yes/No confirmation, empty for none
    std::optional<InputBox> input{};
    bool records_binding = false;  // the typed text goes to the day file first
    Value value{};
    bool sets_mode_yes = false;
    Echo echo = Echo::No;
};

namespace {

constexpr std::string_view kNotConnected = "Датчик не подключен!";
constexpr std::string_view kSetPassword = "Установите допустимый пароль";
constexpr std::string_view kSetAddress = "Установите существующий сетевой адрес";
constexpr std::string_view kPasswordRange =
    "Введите числовой пароль в диапазоне 0....2 000 000 000";
constexpr std::string_view kAddressRange = "Введите число в диапазоне 0....200";
constexpr std::string_view kSerialRange = "Введите число в диапазоне 0....2 000 000";
constexpr std::string_view kBpRange = "Введите число в диапазоне 0....20 000";
constexpr std::string_view kShiftRange = "Значения могут быть от -1000 до 1000";

// `tek` keeps its initial "нет данных" until the sensor has sent a reading; the check is on the
// lower-case first letter only, so "Нет данных" (written when the port closes) passes.
constexpr std::string_view kNoReadingsYet = "н";

constexpr std::string_view kGenPrefix = "S485=6:8:150:19200:";
constexpr std::int64_t kRemoteAddressLimit = 200;  // remote addresses 0..199

constexpr Value kPassword{Source::Input, {}, Encoding::Long, 0, 2'000'000'000, kPasswordRange};
constexpr Value kShift{Source::Box, {}, Encoding::Shift, -1000, 1000, kShiftRange};
constexpr Value kShiftFull{Source::Box, ctl::sdv_verh, Encoding::Shift, -1000, 1000, kShiftRange};
constexpr Value kShiftEmpty{Source::Box, ctl::sdv_niz, Encoding::Shift, -1000, 1000, kShiftRange};

// One row per command, keyed by its control.
constexpr SensorCommand kCommands[] = {
    {.id = SensorCommandId::CalibrateEngineRunning,
     .code = code::kEngineRunning,
     .no_sensor = NoSensor::Silent,
     .needs_readings = true,
     .echo = Echo::Yes},
    {.id = SensorCommandId::CalibrateEngineStopped,
     .code = code::kEngineStopped,
     .no_sensor = NoSensor::Silent,
     .needs_readings = true,
     .echo = Echo::Yes},
    {.id = SensorCommandId::SetHorizon, .code = code::kHorizon},
    {.id = SensorCommandId::CalibrateFullLevel,
     .code = code::kCalibrateFull,
     .no_sensor = NoSensor::Silent,
     .question =
         "Сейчас будет произведена перекалибровка верхнего уровня. Вы уверены что это нужно?",
     .echo = Echo::Yes},
    {.id = SensorCommandId::CalibrateEmptyLevel,
     .code = code::kCalibrateEmpty,
     .no_sensor = NoSensor::Silent,
     .question =
         "Сейчас будет произведена перекалибровка нижнего уровня. Вы уверены что это нужно?",
     .echo = Echo::Yes},
    {.id = SensorCommandId::SetOperatingMode,
     .code = code::kSetMode,
     .no_sensor = NoSensor::Silent,
     .question = "Сейчас будет изменен режим работы датчика. Вы уверены что это нужно?",
     .value = {Source::Modes, {}, Encoding::ModeByte, 0, 0xFF, {}},
     .sets_mode_yes = true},
    {.id = SensorCommandId::ChangePassword,
     .code = code::kChangePassword,
     .clears = true,
     .no_sensor = NoSensor::Refused,
     .no_sensor_text = kSetPassword,
     .question = "Сейчас будет изменен пароль датчика. Если Вы забудете новый пароль, снять его "
                 "сможет только производитель. МЕНЯЕМ ?",
     .input = InputBox{"Введите новый пароль", "Ввод нового пароля", "0"},
     .value = kPassword,
     .echo = Echo::Yes},
    {.id = SensorCommandId::EnterPassword,
     .code = code::kEnterPassword,
     .clears = true,
     .no_sensor = NoSensor::Refused,
     .no_sensor_text = kSetPassword,
     .input = InputBox{"Введите пароль", "Ввод пароля", ""},
     .value = kPassword,
     .echo = Echo::Yes},
    {.id = SensorCommandId::ChangeNetworkAddress,
     .address = Address::Selected,
     .code = code::kSetAddress,
     .no_sensor = NoSensor::Refused,
     .no_sensor_text = kSetAddress,
     .input = InputBox{"Введите новый сетевой номер", "Ввод сетевого номера", "", true},
     .value = {Source::Input, {}, Encoding::Byte, 0, 200, kAddressRange},
     .echo = Echo::Yes},
    {.id = SensorCommandId::SetNextSerialNumber,
     .address = Address::Selected,
     .code = code::kSetSerial,
     .clears = true,
     .no_sensor = NoSensor::Refused,
     .no_sensor_text = kSetAddress,
     .value = {Source::NextAfter, ctl::sn, Encoding::Long, 0, 2'000'000, kSerialRange},
     .echo = Echo::EvenWhenRefused},
    {.id = SensorCommandId::SetUnitSerialNumber,
     .address = Address::Unit,
     .code = code::kSetSerial,
     .clears = true,
     .no_sensor = NoSensor::Refused,
     .no_sensor_text = kSetAddress,
     .input = InputBox{"Введите серийный номер", "Ввод серийного номера", "0"},
     .records_binding = true,
     .value = {Source::Input, {}, Encoding::Long, 0, 2'000'000, kSerialRange},
     .echo = Echo::EvenWhenRefused},
    {.id = SensorCommandId::SetBpValue,
     .address = Address::Unit,
     .code = code::kSetBp,
     .clears = true,
     .no_sensor = NoSensor::Refused,
     .no_sensor_text = kSetAddress,
     .value = {Source::Box, ctl::bp1, Encoding::Long, 0, 20'000, kBpRange},
     .echo = Echo::EvenWhenRefused},
    {.id = SensorCommandId::ShiftFullLevel,
     .address = Address::Selected,
     .code = code::kShiftFull,
     .no_sensor = NoSensor::Silent,
     .question = "Сейчас будет сдвинут верхний уровень. Вы уверены что это нужно?",
     .value = kShiftFull},
    {.id = SensorCommandId::ShiftEmptyLevel,
     .address = Address::Selected,
     .code = code::kShiftEmpty,
     .no_sensor = NoSensor::Silent,
     .question = "Сейчас будет сдвинут уровень пустого. Вы уверены что это нужно?",
     .value = kShiftEmpty},
    {.id = SensorCommandId::PollNetwork,
     .address = Address::Poll,
     .code = std::nullopt,
     .sets_mode_yes = true,
     .echo = Echo::Yes},
};

// The table is indexed by the command's id.
constexpr bool table_in_id_order() {
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        if (static_cast<std::size_t>(kCommands[i].id) != i) return false;
    }
    return std::size(kCommands) == static_cast<std::size_t>(SensorCommandId::Count);
}
static_assert(table_in_id_order());

IntWidth width_of(Encoding encoding) {
    switch (encoding) {
        case Encoding::Byte:
        case Encoding::ModeByte:
            return IntWidth::Byte;
        case Encoding::Shift:
            return IntWidth::Int16;
        case Encoding::None:
        case Encoding::Long:
            break;
    }
    return IntWidth::Int32;
}

// The mode byte: operating mode of the option button that is set, then the three flag bits.
std::uint8_t compose_mode_byte(const WindowModel& model) {
    std::uint8_t mode = 0;
    for (const auto& m : kOperatingModeButtons) {
        if (model.checked(m.control)) {
            mode = m.bits;
            break;
        }
    }
    for (const auto& f : kModeFlagBoxes) {
        if (model.checked(f.control)) mode |= f.bits;
    }
    return mode;
}

// The value of `text` for `value`, or nothing after the command's message (none for a shift
// that is no number).
std::optional<std::int64_t> checked_value(Dialogs& dialogs, const Value& value,
                                          std::string_view text) {
    std::optional<std::int64_t> number = to_integer(text, width_of(value.encoding));
    if (!number && value.encoding == Encoding::Shift) return std::nullopt;
    if (number && value.source == Source::NextAfter) ++*number;
    if (!number || *number < value.low || *number > value.high) {
        dialogs.message(std::string(value.range_text));
        return std::nullopt;
    }
    return number;
}

// The data bytes of a value that passed its range check.
std::string data_bytes(Encoding encoding, std::int64_t value) {
    switch (encoding) {
        case Encoding::None:
            return {};
        case Encoding::Byte:
        case Encoding::ModeByte:
            return std::string(1, static_cast<char>(value));
        case Encoding::Long:
            return big_endian_bytes(static_cast<std::uint32_t>(value));
        case Encoding::Shift:
            return shift_bytes(static_cast<std::int16_t>(value));
    }
    return {};
}

Frame build_frame(const SensorCommand& command, std::uint8_t selected, std::int64_t value) {
    std::string head;
    switch (command.address) {
        case Address::Sensor01:
            head = {static_cast<char>(kSensorPrefix), static_cast<char>(kSensorFactoryAddress)};
            break;
        case Address::Selected:
            head = {static_cast<char>(kSensorPrefix), static_cast<char>(selected)};
            break;
        case Address::Unit:
            head = {static_cast<char>(kAnswerPrefix), static_cast<char>(kUnitAddress)};
            break;
        case Address::Poll:
            head = {static_cast<char>(kSensorPrefix), static_cast<char>(kPollAddress)};
            break;
    }
    if (command.code) head.push_back(static_cast<char>(*command.code));
    return Control_summ(head + data_bytes(command.value.encoding, value));
}

}  // namespace

// The steps every command goes through, each one skipped when the command's row has no use for
// it. The order is the one the commands share: the silent checks come before anything is asked,
// the refusals with a message after the questions and input.
void SensorCommands::run(SensorCommandId id) {
    run(kCommands[static_cast<std::size_t>(id)]);
}

void SensorCommands::run(const SensorCommand& command) {
    const std::uint64_t link = outbox_.link();
    if (command.clears) outbox_.clear();
    const Value& rule = command.value;
    std::optional<std::int64_t> value;
    if (rule.encoding == Encoding::Shift) {  // a shift is checked before anything is asked
        value = checked_value(dialogs_, rule, m_.text(rule.control));
        if (!value) return;
    }
    const auto address = selected_sensor_address(m_);
    if (!address && command.no_sensor == NoSensor::Silent) return;
    if (command.needs_readings && m_.text(ctl::tek).starts_with(kNoReadingsYet)) {
        dialogs_.message(std::string(kNotConnected));
        return;
    }
    if (!command.question.empty() && !dialogs_.yes_no(std::string(command.question))) return;
    std::string typed;
    if (command.input) {
        const InputBox& box = *command.input;
        const std::string initial = box.initial_is_selection
                                        ? m_.selected_item(ctl::CmbNet).value_or(std::string())
                                        : std::string(box.initial);
        typed = dialogs_.input(std::string(box.prompt), std::string(box.title), initial);
        if (typed.empty()) return;
    }
    if (command.records_binding) {
        // The record is kept even for a number refused below; a failed write is reported by
        // append_binding and does not stop the command. A text that would forge a record line
        // is refused with the record: nothing is written and nothing sent.
        if (day_file_.append_binding(typed, m_.text(ctl::nsim), m_.text(ctl::imei)) ==
            DayFile::Binding::Refused) {
            return;
        }
    }
    if (rule.source == Source::NextAfter && m_.text(rule.control).empty()) return;
    if (!address && command.no_sensor == NoSensor::Refused) {
        dialogs_.message(std::string(command.no_sensor_text));
        if (command.echo == Echo::EvenWhenRefused) outbox_.echo(outbox_.pending());
        return;
    }
    if (!value) {
        switch (rule.source) {
            case Source::None:
                value = 0;
                break;
            case Source::Modes:
                value = compose_mode_byte(m_);
                break;
            case Source::Input:
                value = checked_value(dialogs_, rule, typed);
                break;
            case Source::Box:
            case Source::NextAfter:
                value = checked_value(dialogs_, rule, m_.text(rule.control));
                break;
        }
        if (!value) return;
    }
    if (!outbox_.still_on(link)) return;
    outbox_.put(build_frame(command, address.value_or(0), *value));
    if (command.sets_mode_yes) m_.vars.mode_yes = true;
    if (command.echo != Echo::No) outbox_.echo(outbox_.pending());
}

// Prepares a shift command for a sensor behind a remote unit as text; nothing is sent, and a
// request that was pending is dropped once the text is made.
void SensorCommands::generate_shift(ControlName shift_control, std::uint8_t code) {
    m_.set_text(ctl::ns, dialogs_.input("Введите сетевой адрес удаленного датчика",
                                        "Генерирование сдвига", "0"));
    const auto remote = to_integer(m_.text(ctl::ns), IntWidth::Byte);
    if (!remote || *remote >= kRemoteAddressLimit) return;
    const auto shift = checked_value(dialogs_, kShift, m_.text(shift_control));
    if (!shift) return;
    const Frame frame =
        Control_summ(std::string{static_cast<char>(kSensorPrefix), static_cast<char>(*remote),
                                 static_cast<char>(code)} +
                     shift_bytes(static_cast<std::int16_t>(*shift)));
    outbox_.clear();
    m_.set_text(ctl::gen_txt, std::string(kGenPrefix) + hex_pairs(frame));
}

void SensorCommands::generate_full_shift_text() {
    generate_shift(ctl::sdv_verh, code::kShiftFull);
}

void SensorCommands::generate_empty_shift_text() {
    generate_shift(ctl::sdv_niz, code::kShiftEmpty);
}

void SensorCommands::request_selected_version() {
    outbox_.put(version_request(m_));
}

std::vector<ControlName> sensor_command_controls() {
    std::vector<ControlName> names;
    for (const SensorCommand& command : kCommands) {
        if (!command.value.control.text().empty()) names.push_back(command.value.control);
    }
    return names;
}

Frame readings_request() {
    return make_frame({kSensorPrefix, kSensorFactoryAddress, code::kReadings});
}

Frame sensor_version_request() {
    return make_frame({kSensorPrefix, kSensorFactoryAddress, code::kVersion});
}

Frame version_request(const WindowModel& model) {
    const auto address = selected_sensor_address(model);
    if (!address) return {};
    return make_frame({kSensorPrefix, *address, code::kVersion});
}

std::optional<std::uint8_t> selected_sensor_address(const WindowModel& model) {
    const auto entry = model.selected_item(ctl::CmbNet);
    if (!entry) return std::nullopt;
    const auto value = to_integer(*entry, IntWidth::Byte);
    if (!value) return std::nullopt;
    return static_cast<std::uint8_t>(*value);
}

}  // namespace velkon
