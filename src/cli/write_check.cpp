#include "cli/write_check.h"

#include "cli/profile_values.h"
#include "profile/profile.h"

namespace velkon::cli {

namespace {

struct Difference {
    std::size_t row;
    std::optional<FieldValue> want, got;
};

// The written fields of `written` that `held` holds otherwise, `want` as a read would show them.
std::vector<Difference> differences(const TrackerConfig& written, const TrackerConfig& held) {
    std::vector<Difference> out;
    const auto expected = as_read_back_after_write(written);
    const auto layout = tracker_config_layout();
    for (std::size_t i = 0; i < layout.size(); ++i) {
        if (!layout[i].written()) continue;
        const auto& want = expected ? expected->values[i] : written.values[i];
        const auto& got = held.values[i];
        if (want == got) continue;
        out.push_back({i, want, got});
    }
    return out;
}

}  // namespace

std::vector<std::string> differing_fields(const TrackerConfig& written,
                                          const TrackerConfig& read_back) {
    std::vector<std::string> lines;
    const auto layout = tracker_config_layout();
    for (const Difference& d : differences(written, read_back)) {
        lines.push_back("«" + profile_key_of_row(d.row) + "»: записано " +
                        profile_shown_value(d.want, layout[d.row].kind) + ", прочитано " +
                        profile_shown_value(d.got, layout[d.row].kind));
    }
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

std::vector<FieldChange> changed_fields(const TrackerConfig& written, const TrackerConfig& held) {
    std::vector<FieldChange> changes;
    const auto layout = tracker_config_layout();
    for (const Difference& d : differences(written, held)) {
        changes.push_back({profile_key_of_row(d.row), value_text(d.got, layout[d.row].kind),
                           value_text(d.want, layout[d.row].kind)});
    }
    return changes;
}

}  // namespace velkon::cli
