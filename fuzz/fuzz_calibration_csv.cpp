// A calibration table read from a file the user picked, whatever the file holds: our session file
// or CSV export, a spreadsheet's export, another program's table or a tracking platform's.
//
// A table that loads holds finite volumes and levels a sensor can show, and a set-up a session
// can start with; written back as a session file it loads to the same session, as a CSV to the same
// table and set-up (in either decimal separator), and as a platform table (litres first) to the
// same volumes with whole levels. A refusal says why, in Russian and in valid UTF-8.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "calibration/platform_export.h"
#include "calibration/session_file.h"
#include "fuzz_support.h"

using namespace velkon;
using namespace velkon::calibration;

namespace {

// Russian: at least one Cyrillic letter (U+0400..U+04FF: lead bytes D0..D3).
bool has_cyrillic(std::string_view text) {
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead >= 0xD0 && lead <= 0xD3) return true;
    }
    return false;
}

void check_refusal(const Loaded& loaded, const char* what) {
    fuzz::require(!loaded.error.empty(), what, "refused without a message");
    fuzz::require(fuzz::valid_utf8(loaded.error), what, loaded.error);
    fuzz::require(has_cyrillic(loaded.error), what, loaded.error);
}

void check_table(const Session& session) {
    const SessionInfo& i = session.info();
    fuzz::require(!check_info(i), "a loaded set-up that no session may start with",
                  check_info(i).value_or(""));
    for (const std::string* text :
         {&i.started, &i.serial, &i.imei, &i.vehicle, &i.installer, &i.firmware, &i.notes})
        fuzz::require(fuzz::valid_utf8(*text), "a loaded text is not UTF-8", *text);
    double volume_before = 0;
    for (const Point& p : session.points()) {
        fuzz::require(std::isfinite(p.volume) && p.volume >= 0 && p.volume <= 1'000'000,
                      "a loaded volume out of range");
        // A level is a 16-bit reading of the sensor, or a mean of them.
        fuzz::require(std::isfinite(p.level) && p.level >= 0 && p.level <= 65535,
                      "a loaded level out of range");
        fuzz::require(p.volume >= volume_before, "the table is not in volume order");
        volume_before = p.volume;
    }
}

// What a CSV carries: the table and the set-up a spreadsheet shows (no settling rule, no notes).
void check_csv_round_trip(const Session& session, char decimal) {
    const std::string csv = csv_text(session, decimal);
    fuzz::require(fuzz::valid_utf8(csv), "a CSV export is not UTF-8");
    const Loaded back = parse_saved(csv);
    fuzz::require(back.session.has_value(), "a CSV export does not load", back.error);
    const SessionInfo& a = session.info();
    const SessionInfo& b = back.session->info();
    fuzz::require(back.session->points() == session.points(), "a CSV export loads other points",
                  csv);
    fuzz::require(a.portion == b.portion && a.tank_volume == b.tank_volume &&
                      a.start_volume == b.start_volume && a.full_scale == b.full_scale,
                  "a CSV export loads another set-up", csv);
    fuzz::require(a.started == b.started && a.serial == b.serial && a.imei == b.imei &&
                      a.vehicle == b.vehicle && a.installer == b.installer,
                  "a CSV export loads other texts", csv);
}

void check_platform_round_trip(const Session& session, char separator) {
    const PlatformText table = platform_table(session, {false, separator});
    if (!table.error.empty()) {
        fuzz::require(table.text.empty(), "a refused platform table with text");
        fuzz::require(has_cyrillic(table.error) && fuzz::valid_utf8(table.error),
                      "a platform refusal's text", table.error);
        return;
    }
    const Loaded back = parse_saved(table.text);
    fuzz::require(back.session.has_value(), "a platform table does not load", back.error);
    const auto& points = session.points();
    const auto& again = back.session->points();
    fuzz::require(again.size() == points.size(), "a platform table loads another count");
    for (std::size_t k = 0; k < points.size(); ++k)
        fuzz::require(again[k].volume == points[k].volume &&
                          again[k].level == static_cast<double>(std::lround(points[k].level)),
                      "a platform table loads another point", table.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const Loaded loaded = parse_saved(content);
    if (!loaded.session) {
        check_refusal(loaded, "a refusal's text");
        return 0;
    }
    const Session& session = *loaded.session;
    check_table(session);

    const std::string saved = session_text(session);
    fuzz::require(fuzz::valid_utf8(saved), "a session file is not UTF-8");
    const Loaded again = parse_saved(saved);
    fuzz::require(again.session.has_value(), "a saved session does not load", again.error);
    fuzz::require(*again.session == session, "a saved session loads to another one", saved);

    // The window exports a CSV only of a table with points.
    if (!session.points().empty()) {
        check_csv_round_trip(session, ',');
        check_csv_round_trip(session, '.');
    }
    check_platform_round_trip(session, ';');
    check_platform_round_trip(session, '\t');
    return 0;
}
