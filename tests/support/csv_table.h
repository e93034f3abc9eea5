// A CSV report read the way a spreadsheet reads it: cells split at `;`, a cell that begins with a
// quote keeping the separator, doubled quotes and line ends inside it (a quote further in, as in
// ="356938035640001", is the cell's own), rows ended by CR LF or LF, a leading UTF-8 BOM dropped. The tests read the fleet reports with it instead of splitting lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkon::testing {

inline std::vector<std::vector<std::string>> csv_table(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"') {
                cell += c;
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                cell += '"';
                ++i;
            } else {
                quoted = false;
            }
        } else if (c == '"' && cell.empty()) {
            quoted = true;
        } else if (c == ';') {
            row.push_back(std::move(cell));
            cell.clear();
        } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            if (c == '\r') ++i;
            row.push_back(std::move(cell));
            cell.clear();
            rows.push_back(std::move(row));
            row.clear();
        } else {
            cell += c;
        }
    }
    if (!cell.empty() || !row.empty()) {
        row.push_back(std::move(cell));
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace velkon::testing
