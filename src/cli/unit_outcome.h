// What became of one unit in a velkon-cli run: one fixed code for scripts (the JSON report's
// `result`), one Russian word for people (the progress line, the CSV and spreadsheet reports),
// and what it means (the help text, the man page and the guide list them). The table is the only
// place a result is named.
#pragma once

#include <span>
#include <string_view>

namespace velkon::cli {

enum class UnitOutcome {
    Written,
    WrittenUnchecked,
    Differs,
    NotWritten,
    Read,
    Unchanged,
    WouldChange,
    NoAnswer,
    Damaged,
    TooSlow,
    WrongAnswer,
    PortError,
    PortNotFound,
    PortUnavailable,
    Console,
    Refused,
    NoValues,
    DuplicateImei,
    DuplicateValue,
    NotSaved,
    Interrupted,
    Unfinished,
};

struct OutcomeRow {
    UnitOutcome outcome;
    std::string_view code;     // "written"
    std::string_view word;     // "записано"
    std::string_view meaning;  // a sentence, for the help text
};

std::span<const OutcomeRow> outcome_table();
const OutcomeRow& outcome_row(UnitOutcome outcome);

}  // namespace velkon::cli
