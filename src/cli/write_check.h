// The check of a configuration write from the command line: the unit's record read back after
// the write, compared field by field with what was written; and, before a write, what it changes.
#pragma once

#include <string>
#include <vector>

#include "tracker/record.h"

namespace velkon::cli {

// The written fields of `written` that `read_back` holds differently, one line each:
// key, the value written and the value read.
std::vector<std::string> differing_fields(const TrackerConfig& written,
                                          const TrackerConfig& read_back);

// The keys of those fields alone ("server_port"), for a report's column.
std::vector<std::string> differing_keys(const TrackerConfig& written,
                                        const TrackerConfig& read_back);

// What a write of `written` changes in a unit that holds `held`: each written field the unit
// holds otherwise, with both values as a profile gives them.
struct FieldChange {
    std::string key, before, after;
};
std::vector<FieldChange> changed_fields(const TrackerConfig& written, const TrackerConfig& held);

}  // namespace velkon::cli
