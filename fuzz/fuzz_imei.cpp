// The tracker's IMEI and SIM answer (code A7), whatever its length and content. The two texts
// come from fixed-width fields, so neither may show more characters than its field has bytes.
#include <cstddef>
#include <cstdint>

#include "tracker_rig.h"

using namespace velkon;

namespace {

std::size_t characters(std::string_view utf8) {
    std::size_t count = 0;
    for (char c : utf8) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::TrackerRig rig;
    rig.tracker.show_imei(Frame(reinterpret_cast<const char*>(data), size));
    fuzz::require_window_texts_valid(rig.model);
    fuzz::require(characters(rig.model.text(ctl::imei)) <= 15, "IMEI longer than its field");
    fuzz::require(characters(rig.model.text(ctl::nsim)) <= 20, "SIM number longer than its field");
    return 0;
}
