#include "programs/xlsx_cells.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "programs/child_process.h"
#include "programs/programs_fixture.h"

namespace velkon::test {

namespace {

// Exits 3 when openpyxl is missing, so that the next python3 can be tried (a python3 of its own
// first on PATH, pyenv's, lacks Debian's packages).
constexpr const char* kReader = R"(
import json, sys
try:
    import openpyxl
    from openpyxl.utils import get_column_letter
except ImportError:
    sys.exit(3)
book = openpyxl.load_workbook(sys.argv[1])
sheet = book.worksheets[0]
json.dump({
    "sheets": book.sheetnames,
    "rows": [list(row) for row in sheet.iter_rows(values_only=True)],
    "frozen": sheet.freeze_panes or "",
    "bold_rows": [row[0].row - 1 for row in sheet.iter_rows() if row[0].font and row[0].font.b],
    "widths": [sheet.column_dimensions[get_column_letter(c)].width
               for c in range(1, sheet.max_column + 1)],
}, sys.stdout, ensure_ascii=False, default=str)
)";

constexpr int kNoOpenpyxl = 3;

}  // namespace

std::string XlsxSheet::beside(const std::string& label) const {
    const int at = row_starting(label);
    if (at < 0 || rows[at].size() < 2 || !rows[at][1].is_string()) return "";
    return rows[at][1].get<std::string>();
}

int XlsxSheet::row_starting(const std::string& text) const {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].empty() && rows[i][0] == text) return static_cast<int>(i);
    }
    return -1;
}

XlsxSheet read_xlsx(const std::filesystem::path& file) {
    XlsxSheet result;
    std::vector<std::filesystem::path> pythons = find_on_path("python3");
    if (std::find(pythons.begin(), pythons.end(), "/usr/bin/python3") == pythons.end()) {
        pythons.push_back("/usr/bin/python3");
    }
    const std::filesystem::path out = file.string() + ".cells.json";
    const std::filesystem::path err = file.string() + ".reader.txt";
    for (const auto& python : pythons) {
        if (::access(python.c_str(), X_OK) != 0) continue;
        UniqueFd out_fd(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ChildProcess reader({.args = {python.string(), "-c", kReader, file.string()},
                             .out_fd = out_fd.get(),
                             .err_fd = err_fd.get()});
        const auto status = reader.wait(kProgramEnds);
        if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == kNoOpenpyxl) continue;
        if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
            result.error = "openpyxl refused " + file.string() + ": " + content_of(err);
            return result;
        }
        const auto json = nlohmann::json::parse(content_of(out), nullptr, false);
        if (!json.is_object()) {
            result.error = "the reader's output is no JSON: " + content_of(out);
            return result;
        }
        result.sheets = json["sheets"].get<std::vector<std::string>>();
        result.rows = json["rows"];
        result.frozen = json["frozen"].get<std::string>();
        result.bold_rows = json["bold_rows"].get<std::vector<int>>();
        for (const auto& width : json["widths"]) {
            result.widths.push_back(width.is_number() ? width.get<double>() : 0);
        }
        return result;
    }
    result.error =
        "no python3 with openpyxl to read the workbook: python3-openpyxl is not installed "
        "(scripts/test installs it)";
    return result;
}

}  // namespace velkon::test
