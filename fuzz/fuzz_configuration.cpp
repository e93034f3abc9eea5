// The tracker's configuration answer (code A2) read into the pages «Трекер» and «Сервер». Whatever
// the answer held, what the pages then show either makes a well-formed write frame or is refused
// with a message: «Установить» must never build a frame of the wrong size or with a bad check byte.
#include <cstddef>
#include <cstdint>

#include "protocol/frame.h"
#include "tracker/record.h"
#include "tracker_rig.h"

using namespace velkon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TrackerRig rig;
    rig.tracker.show_configuration(Frame(reinterpret_cast<const char*>(data), size));
    fuzz::require_window_texts_valid(rig.model);

    const ConfigFrame built = encode_config_frame(rig.tracker.configuration_from_window());
    if (built) {
        fuzz::require(built.frame.size() == kConfigFrameSize, "write frame of the wrong size");
        fuzz::require(check_byte(built.frame) == 0, "write frame with a bad check byte");
        fuzz::require(built.refusal.empty(), "a built frame carries a refusal");
    } else {
        fuzz::require(!built.refusal.empty(), "a refusal without a message");
        fuzz::require(fuzz::valid_utf8(built.refusal), "refusal text not UTF-8", built.refusal);
    }
    return 0;
}
