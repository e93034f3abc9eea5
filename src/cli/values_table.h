// Per-unit values for `fleet write --values`: a table as a spreadsheet saves it as CSV. Cells are
// separated by ';' or ',' (whichever the header line uses), the text is UTF-8 with or without a
// BOM, lines end in CRLF or LF, and a cell may be quoted, a quote in it doubled. The first row
// names the columns: one key column, `imei`, `serial` or `port`, whose cell picks a unit's row by
// its IMEI, serial number or port name, and one column per profile key (`device_id`,
// `server_port`, `channels[3].address`), whose cells override the profile for that unit.
//
// The table is refused whole, before any port is opened, when a row could go to the wrong unit or
// be lost: no key column or two, a name that is no profile key, one key in two rows, a row with
// more or fewer cells than the header.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkon::cli {

// The records of a CSV text; a record's line is the line of the file it begins on, from 1.
struct CsvRecord {
    std::size_t line = 0;
    std::vector<std::string> cells;
};
struct CsvText {
    std::vector<CsvRecord> records;
    std::string error;  // "строка 4: …" when the text is no CSV (an unclosed quote)
};
// Splits a CSV text; the separator is the one of ';' and ',' the first line holds more of, and a
// leading UTF-8 BOM is not part of the first cell.
CsvText split_csv(std::string_view text);

// Which of the unit's names its row is found by.
enum class ValuesKey { Imei, Serial, Port };

struct ValuesRow {
    std::size_t line = 0;             // in the file, from 1
    std::string key;                  // the key cell
    std::vector<std::string> values;  // one cell per column of ValuesTable::columns
};

struct ValuesTable {
    ValuesKey key = ValuesKey::Imei;
    std::string key_column;            // as the header names it
    std::vector<std::string> columns;  // the profile keys, in the header's order
    std::vector<ValuesRow> rows;

    // The row whose key cell is `key`, or none.
    const ValuesRow* row_for(std::string_view key) const;
};

struct ValuesLoad {
    std::optional<ValuesTable> table;
    std::string error;  // the line and the cause: "строка 3: …"
    explicit operator bool() const { return table.has_value(); }
};

// `known_key` tells a profile key from any other name.
ValuesLoad parse_values_table(std::string_view content,
                              const std::function<bool(const std::string&)>& known_key);

// The file read and parsed; the error names the file, the line and the cause.
ValuesLoad load_values_table(const std::filesystem::path& path,
                             const std::function<bool(const std::string&)>& known_key);

// How a message names the unit's value a row is found by: "IMEI", "серийным номером", "портом".
std::string_view values_key_words(ValuesKey key);

}  // namespace velkon::cli
