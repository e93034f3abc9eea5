#include "cli/write_check.h"

#include "profile/profile.h"

namespace velkon::cli {

namespace {

struct Difference {
    std::size_t row;
    std::string line;
};

std::vector<Difference> differences(const TrackerConfig& written, const TrackerConfig& read_back) {
    std::vector<Difference> out;
    const auto expected = as_read_back_after_write(written);
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!layout[i].written()) continue;
        const auto& want = expected ? expected->values[i] : written.values[i];
        const auto& got = read_back.values[i];
        if (want == got) continue;
        out.push_back({i, "«" + profile_key_of_row(i) + "»: записано " +
                              profile_shown_value(want, layout[i].kind) + ", прочитано " +
                              profile_shown_value(got, layout[i].kind)});
    }
    return out;
}

}  // namespace

std::vector<std::string> differing_fields(const TrackerConfig& written,
                                          const TrackerConfig& read_back) {
    std::vector<std::string> lines;
    for (Difference& d : differences(written, read_back)) lines.push_back(std::move(d.line));
    return lines;
}

std::vector<std::string> differing_keys(const TrackerConfig& written,
                                        const TrackerConfig& read_back) {
    std::vector<std::string> keys;
    for (const Difference& d : differences(written, read_back)) {
        keys.push_back(profile_key_of_row(d.row));
    }
    return keys;
}

}  // namespace velkon::cli
