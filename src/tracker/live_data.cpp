// The unit's live data (answer code 0xA0): inputs, supply voltage, RS-485 channel readings,
// satellites, GSM level, traffic and the level byte, each shown as soon as it is known.
#include <array>

#include "tracker/tracker.h"

namespace velkon {

namespace {

enum class Show {
    Analog,      // little-endian raw, 360 per volt, shown to hundredths rounded half to even
    Hundredths,  // little-endian hundredths of a unit, shown exactly
    Little,      // little-endian number
    Big,         // big-endian number (a single byte either way)
    Bit,         // "0" or "1" from the bit `mask`
    Level,       // the level bar's value: the byte, or 0 above 50
};

struct LiveField {
    ControlName control;
    std::size_t position;  // first byte, counted from 1
    std::size_t width;
    Show show;
    // The answer length from which the unit's firmware sends the group the value belongs to.
    std::size_t group_length = 0;
    std::uint8_t mask = 0;
};

// In the order the values are shown. A value whose bytes a short answer lacks is skipped, so no
// answer is read past its end and the label keeps its last value.
constexpr std::array<LiveField, 20> kLiveLayout = {{
    {ctl::ain1, 6, 2, Show::Analog},       {ctl::ain2, 8, 2, Show::Analog},
    {ctl::ain3, 10, 2, Show::Hundredths},  {ctl::fin1, 12, 2, Show::Little},
    {ctl::fin2, 14, 2, Show::Little},      {ctl::in1, 16, 1, Show::Bit, 0, 0x01},
    {ctl::in2, 16, 1, Show::Bit, 0, 0x02}, {ctl::lls1, 17, 2, Show::Big, 18},
    {ctl::lls2, 19, 2, Show::Big, 18},     {ctl::lls3, 21, 2, Show::Big, 18},
    {ctl::lls4, 23, 2, Show::Big, 18},     {ctl::lls5, 25, 2, Show::Big, 18},
    {ctl::lls6, 27, 2, Show::Big, 18},     {ctl::lls7, 29, 2, Show::Big, 18},
    {ctl::lls8, 31, 2, Show::Big, 18},     {ctl::sputn, 34, 1, Show::Big, 34},
    {ctl::gsm, 33, 1, Show::Big, 34},      {ctl::traf, 35, 1, Show::Big, 34},
    {ctl::ns, 36, 1, Show::Big, 36},       {ctl::ProgressBar1, 37, 1, Show::Level, 59},
}};

constexpr std::uint32_t kLevelLimit = 50;

std::uint32_t number(std::string_view bytes, bool little) {
    return little ? little_endian_at(bytes, 0, bytes.size())
                  : big_endian_at(bytes, 0, bytes.size());
}

// n / 100 in decimal with the user's separator and no trailing zeros: 1250 -> "12,5" on a
// Russian desktop, 1000 -> "10".
std::string hundredths_text(std::uint32_t n, std::string_view separator) {
    std::string text = std::to_string(n / 100);
    const std::uint32_t cents = n % 100;
    if (cents == 0) return text;
    text += separator;
    text += static_cast<char>('0' + cents / 10);
    if (cents % 10) text += static_cast<char>('0' + cents % 10);
    return text;
}

// raw × 100 / 360 rounded to a whole number, a half going to the even neighbour.
std::uint32_t analog_hundredths(std::uint32_t raw) {
    const std::uint32_t scaled = raw * 100;
    std::uint32_t n = scaled / 360;
    const std::uint32_t twice_rest = 2 * (scaled % 360);
    if (twice_rest > 360 || (twice_rest == 360 && n % 2 == 1)) ++n;
    return n;
}

std::string shown_text(const LiveField& field, std::string_view bytes, std::string_view separator) {
    switch (field.show) {
        case Show::Analog:
            return hundredths_text(analog_hundredths(number(bytes, true)), separator);
        case Show::Hundredths:
            return hundredths_text(number(bytes, true), separator);
        case Show::Little:
            return std::to_string(number(bytes, true));
        case Show::Bit:
            return (byte_at(bytes, 0) & field.mask) ? "1" : "0";
        case Show::Big:
        case Show::Level:
            break;
    }
    return std::to_string(number(bytes, false));
}

}  // namespace

std::vector<ControlName> live_data_controls() {
    std::vector<ControlName> names;
    for (const LiveField& field : kLiveLayout) names.emplace_back(field.control);
    return names;
}

Frame live_data_request() {
    return make_frame({kAnswerPrefix, kUnitAddress, code::kLiveData});
}

std::vector<LiveValue> decode_live_data(std::string_view answer, std::string_view separator) {
    std::vector<LiveValue> values;
    for (const LiveField& field : kLiveLayout) {
        const std::size_t end = field.position - 1 + field.width;
        if (answer.size() < field.group_length || answer.size() < end) continue;
        const std::string_view bytes = answer.substr(field.position - 1, field.width);
        if (field.show == Show::Level) {
            const std::uint32_t level = byte_at(bytes, 0);
            values.push_back({field.control, std::to_string(level > kLevelLimit ? 0 : level)});
        } else {
            values.push_back({field.control, shown_text(field, bytes, separator)});
        }
    }
    return values;
}

void Tracker::show_live_data(const Frame& answer) {
    // A failed configuration read must stay in sight: data coming is no reason to forget it.
    const bool read_missing = read_failed_ && !fields_are_units();
    m_.set_text(ctl::MsgCom,
                read_missing ? std::string(kLiveDataConfigurationNotRead) : "Получены данные");
    for (const LiveValue& value : decode_live_data(answer, decimal_separator_)) {
        if (value.control == ctl::ProgressBar1) {
            m_.set_value(value.control, std::stoi(value.text));
        } else {
            m_.set_text(value.control, value.text);
        }
    }
}

}  // namespace velkon
