// A configuration profile or a kept write frame ("123.cfg") loaded from a file, whatever the file
// holds. A profile that loads passes the write's checks, and saving it again gives a profile that
// loads to the same record; a refusal says why in valid UTF-8.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"
#include "profile/profile.h"

using namespace velkon;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const LoadedProfile loaded = parse_profile_content(content);
    if (!loaded) {
        fuzz::require(!loaded.error.empty(), "a refused profile without a message");
        fuzz::require(fuzz::valid_utf8(loaded.error), "refusal text not UTF-8", loaded.error);
        return 0;
    }
    fuzz::require(check_values(*loaded.config).empty(),
                  "a loaded profile fails the write's checks");
    const std::string saved = profile_text(*loaded.config);
    fuzz::require(fuzz::valid_utf8(saved), "a saved profile is not UTF-8");
    const LoadedProfile again = parse_profile(saved);
    fuzz::require(static_cast<bool>(again), "a saved profile does not load", again.error);
    fuzz::require(again.config->values == loaded.config->values,
                  "a saved profile loads to another record", saved);
    return 0;
}
