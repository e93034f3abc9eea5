// What the user types: numbers (parse_number, to_integer), texts between the window and the wire
// (the CP1251 conversions), and the configuration write's checks of every field
// (encode_config_frame). The input is cut into texts by FuzzedDataProvider.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "protocol/cp1251.h"
#include "protocol/frame.h"
#include "protocol/number.h"
#include "tracker/record.h"

using namespace velkon;

namespace {

struct Range {
    IntWidth width;
    std::int64_t low, high;
};
constexpr Range kRanges[] = {
    {IntWidth::Byte, 0, 255},
    {IntWidth::Int16, -32768, 32767},
    {IntWidth::Int32, -2147483648LL, 2147483647LL},
};

void check_number(const std::string& text) {
    std::string with_point = text;
    std::replace(with_point.begin(), with_point.end(), ',', '.');
    std::optional<std::int64_t> narrower;
    for (const Range& r : kRanges) {
        const Number n = parse_number(text, r.width);
        fuzz::require(to_integer(text, r.width) == n.value,
                      "to_integer disagrees with parse_number");
        fuzz::require(parse_number(with_point, r.width).value == n.value,
                      "comma and point read differently", text);
        if (n) {
            fuzz::require(*n >= r.low && *n <= r.high, "value outside its width", text);
            fuzz::require(parse_number(std::to_string(*n), r.width).value == n.value,
                          "a value does not read back from its own decimal text");
        }
        // A number that fits a narrow width fits every wider one, with the same value.
        if (narrower) fuzz::require(n.value == narrower, "a wider width reads another value", text);
        narrower = n.value;
    }
}

void check_code_page(const std::string& text) {
    // Every byte decodes, to valid UTF-8 that encodes back to the same bytes.
    const std::string decoded = cp1251_to_utf8(text);
    fuzz::require(fuzz::valid_utf8(decoded), "decoded text is not UTF-8");
    fuzz::require(utf8_to_cp1251(decoded) == text, "bytes do not survive decode and encode");
    fuzz::require(cp1251_length(decoded) == text.size(), "wire length of decoded text");

    // Encoding refuses malformed UTF-8 and round-trips what it accepts.
    const auto encoded = utf8_to_cp1251(text);
    if (!fuzz::valid_utf8(text)) fuzz::require(!encoded, "malformed UTF-8 encoded");
    if (encoded) {
        fuzz::require(cp1251_to_utf8(*encoded) == text, "text does not survive encode and decode");
        fuzz::require(cp1251_length(text) == encoded->size(), "wire length of encoded text");
    } else {
        fuzz::require(!cp1251_length(text), "a length for a text that cannot be encoded");
    }
}

void check_config_write(FuzzedDataProvider& in) {
    const auto layout = tracker_config_layout();
    TrackerConfig config;
    for (std::size_t i = 0; i < layout.size() && in.remaining_bytes() > 0; ++i) {
        if (in.ConsumeBool()) continue;  // missing
        if (layout[i].as_text()) {
            config.values[i] = in.ConsumeRandomLengthString(48);
        } else {
            config.values[i] = in.ConsumeIntegral<std::uint32_t>();
        }
    }
    const ConfigFrame built = encode_config_frame(config);
    if (!built) {
        fuzz::require(!built.refusal.empty(), "a refusal without a message");
        fuzz::require(fuzz::valid_utf8(built.refusal), "refusal text not UTF-8", built.refusal);
        return;
    }
    fuzz::require(built.frame.size() == kConfigFrameSize, "write frame of the wrong size");
    fuzz::require(check_byte(built.frame) == 0, "write frame with a bad check byte");
    // Each text travels as its code-page bytes padded with NUL to the field's width.
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].kind != FieldKind::Text) continue;
        const std::string* text =
            config.values[i] ? std::get_if<std::string>(&*config.values[i]) : nullptr;
        std::string expected = text ? utf8_to_cp1251(*text).value_or("?") : std::string();
        expected.resize(layout[i].width, '\0');
        fuzz::require(built.frame.substr(layout[i].position - 1, layout[i].width) == expected,
                      "a text field's bytes in the write frame", layout[i].control.text());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string text = in.ConsumeRandomLengthString(64);
    check_number(text);
    check_code_page(text);
    check_config_write(in);
    return 0;
}
