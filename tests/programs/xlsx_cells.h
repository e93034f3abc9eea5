// What an Excel workbook holds, read by an independent reader (openpyxl, of python3-openpyxl,
// which scripts/test installs): the sheets' names and the first sheet's cells as its reader takes
// them, so a test sees whether an IMEI is a text or became a number.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace velkon::test {

struct XlsxSheet {
    std::vector<std::string> sheets;
    // The first sheet, a row of values each: a text is a JSON string, a number a number, an
    // empty cell null.
    nlohmann::json rows = nlohmann::json::array();
    std::string frozen;          // the top left cell below and right of the frozen panes: "B7"
    std::vector<int> bold_rows;  // rows (from 0) whose first cell is bold
    std::vector<double> widths;  // column widths, from column A
    std::string error;           // when no reader could be run or it refused the file

    // The value right of the cell `label` in column A ("" when there is none).
    std::string beside(const std::string& label) const;
    // The row (from 0) whose first cell is `text`; -1 when none is.
    int row_starting(const std::string& text) const;
};

XlsxSheet read_xlsx(const std::filesystem::path& file);

}  // namespace velkon::test
