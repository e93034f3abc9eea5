// The exchange tick end to end on a fake port: the input is what the line brings over a few
// ticks, and each answer goes through the real dispatch to whoever shows it.
//
// Input format, repeated: one control byte, one length byte, then that many bytes read by one
// tick. The control byte's value modulo 3 is the page shown during the tick (0 asks the sensor,
// 1 and 2 the tracker, and a change of page asks for the configuration); its top bit adds 256 to
// the length, for answers longer than one read. Whatever comes back, every frame the tick writes
// carries a good check byte, the tick ends, and the window's texts stay valid UTF-8. At the end
// «Установить» is pressed: the record it writes must hold the texts of a whole configuration
// answer that one read brought, never the window's start values or a shifted record.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "app/configurator.h"
#include "fuzz_support.h"
#include "protocol/frame.h"
#include "support/stand_ins.h"
#include "tracker/record.h"
#include "tracker/tracker.h"

using namespace velkon;

namespace {

constexpr int kMaxTicks = 16;

using velkon::testing::FakeLister;
using velkon::testing::FakePort;
using velkon::testing::FixedClock;
using velkon::testing::HoldingRunner;

// The configurator on a fake port with the tests' stand-ins and boxes nobody answers, its link
// open as after a click on the open button.
struct ExchangeRig {
    WindowModel model = fuzz::fresh_window();
    fuzz::QuietDialogs dialogs;
    FixedClock clock;
    FakeLister lister;
    FakePort port;
    HoldingRunner reader;
    Configurator app{model, {port, lister, dialogs, clock, reader, fuzz::kNoFolder}};
    std::vector<std::string> reads_seen;

    ExchangeRig() {
        model.set_items(ctl::CmbNet, {"0"});
        model.set_selected(ctl::CmbNet, 0);
        model.vars.mode_yes = true;
        model.vars.Ur_progressBar = 1024;
        model.set_items(ctl::CmbPort, {"ttyUSB0"});
        model.set_selected(ctl::CmbPort, 0);
        app.connection().open_link();
    }
    void tick(std::string read) {
        port.reads.push_back(std::move(read));
        app.exchange().start_tick();
    }
};

constexpr std::size_t kTextsEnd = 145;  // the record's texts end at position 145

// The record's texts as the window shows them. The write frame matches the answer's layout up to
// its texts' end, so both are read the same way.
std::vector<std::string> shown_texts(std::string_view frame) {
    std::string as_answer(frame.substr(0, kTextsEnd));
    as_answer.resize(kConfigAnswerSize, '\0');
    const TrackerConfig config = decode_config_answer(Control_summ(as_answer));
    std::vector<std::string> texts;
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (layout[i].kind == FieldKind::Text && config.values[i]) {
            texts.push_back(std::get<std::string>(*config.values[i]));
        }
    }
    return texts;
}

// Whether `read` holds a whole configuration answer whose texts the write frame carries. A copy
// of the read request in front would make "echo + answer" pass its check with every field
// shifted: such a frame is not the unit's.
bool texts_came_in(std::string_view read, std::string_view write) {
    const std::string request = configuration_read_request();
    for (std::size_t at = 0; at + 172 <= read.size(); ++at) {
        if (byte_at(read, at) != 0x3E || byte_at(read, at + 2) != 0xA2) continue;
        if (read.substr(at).starts_with(request)) continue;
        for (std::size_t end = at + 172; end <= read.size(); ++end) {
            const std::string_view frame = read.substr(at, end - at);
            if (check_byte(frame) == 0 && shown_texts(frame) == shown_texts(write)) return true;
        }
    }
    return false;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ExchangeRig rig;
    fuzz::require(rig.port.is_open(), "the fake link did not open");
    std::size_t at = 0;
    for (int tick = 0; tick < kMaxTicks && at + 2 <= size; ++tick) {
        const std::uint8_t control = data[at];
        std::size_t length = data[at + 1] + ((control & 0x80) ? 256u : 0u);
        at += 2;
        length = std::min(length, size - at);
        rig.model.set_tab(control % 3);
        rig.reads_seen.emplace_back(reinterpret_cast<const char*>(data + at), length);
        rig.tick(rig.reads_seen.back());
        at += length;

        fuzz::require(!rig.app.exchange().tick_in_progress(), "a tick did not end");
        for (const std::string& written : rig.port.writes) {
            fuzz::require(!written.empty() && check_byte(written) == 0,
                          "a frame written with a bad check byte");
        }
        rig.port.writes.clear();
        fuzz::require_window_texts_valid(rig.model);
    }
    rig.app.fire(ctl::setdata);
    const std::string& write = rig.model.vars.wrs;
    if (write.size() >= kTextsEnd) {
        bool from_unit = false;
        for (const std::string& read : rig.reads_seen)
            from_unit = from_unit || texts_came_in(read, write);
        fuzz::require(from_unit, "«Установить» wrote texts no whole answer brought");
    }
    return 0;
}
