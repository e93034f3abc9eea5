// The tracker's live data (code A0) shown on the page «Трекер», whatever its length and content.
#include <cstddef>
#include <cstdint>

#include "tracker_rig.h"

using namespace velkon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TrackerRig rig;
    rig.tracker.show_live_data(Frame(reinterpret_cast<const char*>(data), size));
    fuzz::require_window_texts_valid(rig.model);
    return 0;
}
