// The exchange tick end to end on a fake port: the input is what the line brings over a few
// ticks, and each answer goes through the real dispatch to whoever shows it.
//
// Input format, repeated: one control byte, one length byte, then that many bytes read by one
// tick. The control byte's value modulo 3 is the page shown during the tick (0 asks the sensor,
// 1 and 2 the tracker, and a change of page asks for the configuration); its top bit adds 256 to
// the length, for answers longer than one read. Whatever comes back, every frame the tick writes
// carries a good check byte, the tick ends, and the window's texts stay valid UTF-8.
#include <cstddef>
#include <cstdint>

#include "app/configurator.h"
#include "fuzz_support.h"
#include "protocol/frame.h"
#include "support/stand_ins.h"

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
        rig.tick(std::string(reinterpret_cast<const char*>(data + at), length));
        at += length;

        fuzz::require(!rig.app.exchange().tick_in_progress(), "a tick did not end");
        for (const std::string& written : rig.port.writes) {
            fuzz::require(!written.empty() && check_byte(written) == 0,
                          "a frame written with a bad check byte");
        }
        rig.port.writes.clear();
        fuzz::require_window_texts_valid(rig.model);
    }
    return 0;
}
