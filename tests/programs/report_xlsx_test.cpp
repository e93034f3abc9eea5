// The fleet's Excel report as another program reads it: openpyxl, not our writer, says what each
// cell holds, so an IMEI or a 20-digit SIM that became a number, a lost line or a workbook a
// spreadsheet would refuse shows here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "cli/fleet_report.h"
#include "programs/programs_fixture.h"
#include "programs/xlsx_cells.h"
#include "support/fleet_units.h"
#include "support/sim_unit.h"

namespace velkon::test {
namespace {

using Json = nlohmann::json;

// The table's header, as a spreadsheet shows it.
const std::vector<std::string> kHeader = {"Порт",
                                          "IMEI",
                                          "SIM",
                                          "Серийный номер",
                                          "Версия ПО",
                                          "Результат",
                                          "Код результата",
                                          "Код завершения",
                                          "Изменения",
                                          "Различия после записи",
                                          "Заполнено",
                                          "Сообщение"};

// The rows under the header, the header checked on the way.
std::vector<Json> table_rows(const XlsxSheet& sheet) {
    const int header = sheet.row_starting("Порт");
    EXPECT_GE(header, 0) << sheet.rows.dump();
    if (header < 0) return {};
    EXPECT_EQ(sheet.rows[header].get<std::vector<std::string>>(), kHeader);
    // Bold, and frozen with what is above it: the first row under it is the first to scroll.
    EXPECT_NE(std::find(sheet.bold_rows.begin(), sheet.bold_rows.end(), header),
              sheet.bold_rows.end());
    EXPECT_EQ(sheet.frozen, "B" + std::to_string(header + 2));
    return {sheet.rows.begin() + header + 1, sheet.rows.end()};
}

// A fleet write against three simulated units, one of them silent, with the report in a
// workbook: every identifier is the unit's own text, the SIM's twenty digits whole, and the
// header names the run.
TEST(FleetXlsxReport, AnIndependentReaderFindsEveryUnitAsTheUnitToldIt) {
    testing::SimUnit first("356938035640041"), second("356938035640042");
    testing::SimUnit silent("356938035640043", {.silent = true});
    first.server.with_device([](sim::Device& d) { d.tracker().sim = "89701010000000000001"; });
    second.server.with_device([](sim::Device& d) {
        d.tracker().sim = "89701010000000000002";
        d.tracker().serial = 4200042;
    });
    TempDir folder;
    const auto profile = folder.path() / "truck.json";
    {
        ChildProcess read({.args = {program_path("velkon-cli"), "config", "read", first.port(),
                                    "-o", profile.string()}});
        const auto status = read.wait(kProgramEnds);
        ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    }
    const auto report = folder.path() / "парк.xlsx";
    const auto err = folder.path() / "err";
    UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ChildProcess cli(
        {.args = {program_path("velkon-cli"), "fleet", "write", profile.string(), first.port(),
                  second.port(), silent.port(), "--set", "device_id={imei:10}", "--timeout", "250",
                  "--report", report.string()},
         .err_fd = err_fd.get()});
    const auto status = cli.wait(kProgramEnds);
    ASSERT_TRUE(status) << "velkon-cli did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1)
        << describe_wait_status(*status) << "\n"
        << content_of(err);

    const XlsxSheet sheet = read_xlsx(report);
    ASSERT_EQ(sheet.error, "");
    EXPECT_EQ(sheet.sheets, std::vector<std::string>{"Трекеры"});
    EXPECT_EQ(sheet.beside("Профиль"), profile.string());
    EXPECT_EQ(sheet.beside("Программа").rfind("velkon-cli ", 0), 0u) << sheet.rows.dump();
    EXPECT_EQ(sheet.beside("Состояние"), "закончен");
    EXPECT_NE(sheet.beside("Начало работы"), "");

    const std::vector<Json> rows = table_rows(sheet);
    // Port, IMEI, SIM, serial, result word, result code, status.
    const std::vector<Json> expected = {
        {first.port(), "356938035640041", "89701010000000000001", "100500", "записано", "written",
         0},
        {second.port(), "356938035640042", "89701010000000000002", "4200042", "записано", "written",
         0},
        {silent.port(), nullptr, nullptr, nullptr, "не отвечает", "no-answer", 1},
    };
    ASSERT_EQ(rows.size(), expected.size()) << sheet.rows.dump();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Json& row = rows[i];
        ASSERT_EQ(row.size(), kHeader.size()) << row;
        EXPECT_EQ((Json{row[0], row[1], row[2], row[3], row[5], row[6], row[7]}), expected[i]);
        // A text is a JSON string, a number a number: openpyxl read no identifier as a number.
        for (const int column : {1, 2, 3}) {
            EXPECT_TRUE(row[column].is_string() || row[column].is_null()) << row;
        }
        EXPECT_TRUE(row[11].is_string()) << row;  // every unit's message
    }
    EXPECT_EQ(first.device_id(), "8035640041");
    // Wide enough for the SIM's twenty digits.
    ASSERT_GT(sheet.widths.size(), 2u);
    EXPECT_GE(sheet.widths[2], 20);
}

// The values a write changes and fills in, and what differs after it, one a line in their cells;
// a unit still at work has no status yet; leading zeros stay; a name that is not UTF-8 does not
// spoil the workbook.
TEST(FleetXlsxReport, ChangesFilledValuesAndDifferencesAreLinesOfTheirCells) {
    const cli::RunFacts run{"2026-12-11T09:30:05+03:00", ""};
    const cli::ReportBytes bytes = cli::report_bytes(
        cli::ReportFormat::Xlsx, testing::rendered_units(), run, cli::RunState::Running);
    ASSERT_EQ(bytes.error, 0);
    TempDir folder;
    const auto file = folder.path() / "report.xlsx";
    std::ofstream(file, std::ios::binary) << bytes.bytes;

    const XlsxSheet sheet = read_xlsx(file);
    ASSERT_EQ(sheet.error, "");
    EXPECT_EQ(sheet.beside("Состояние"), "идёт");
    EXPECT_EQ(sheet.beside("Профиль"), "");
    EXPECT_EQ(sheet.beside("Начало работы"), "2026-12-11T09:30:05+03:00");
    const std::vector<Json> rows = table_rows(sheet);
    ASSERT_EQ(rows.size(), 3u) << sheet.rows.dump();
    // Port, IMEI, serial, result code, status, changes, differences, filled.
    const std::vector<Json> expected = {
        {"/dev/ttyUSB0", "356938035640001", "100500", "written", 0,
         "device_id: 0000012345 → 8035640001\napn: internet → m2m;\"x\"", nullptr,
         "device_id = 8035640001\naccess_password = 0001"},
        {"/dev/ttyUSB1", "086938035640002", "0012345", "differs", 1, "server_port: 20332 → 20333",
         "«server_port»: записано «20333», прочитано «2033»", nullptr},
        {"/dev/tty\uFFFDUSB2", nullptr, nullptr, "unfinished", nullptr, nullptr, nullptr, nullptr},
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Json& row = rows[i];
        ASSERT_EQ(row.size(), kHeader.size()) << row;
        EXPECT_EQ((Json{row[0], row[1], row[3], row[6], row[7], row[8], row[9], row[10]}),
                  expected[i]);
    }
}

}  // namespace
}  // namespace velkon::test
