// velkon-cli with units that are slow, silent, busy or refusing, per-unit values, the console and
// logs with gaps: simulators on pseudo-terminals, and a fake port where none may be opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "cli/cli_tool.h"
#include "cli/fleet_report.h"
#include "cli/profile_values.h"
#include "cli/unit_jobs.h"
#include "cli/unit_outcome.h"
#include "cli/write_check.h"
#include "profile/profile.h"
#include "sim/pty_server.h"
#include "support/csv_table.h"
#include "support/fleet_units.h"
#include "support/form_fixture.h"
#include "support/sim_unit.h"
#include "tracker/answers.h"
#include "tracker/tracker.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::ordered_json;
using tracker_test::file_content;

constexpr const char* kWriteCode = "A3";

// The text of a report's CSV cell written as ="…" (an IMEI, a SIM, a serial number).
std::string csv_text(const std::string& cell) {
    if (cell.size() >= 3 && cell.starts_with("=\"") && cell.ends_with('"')) {
        return cell.substr(2, cell.size() - 3);
    }
    return cell;
}

using Unit = testing::SimUnit;
using cli::in_quotes;
using cli::outcome_row;
using cli::outcome_table;
using cli::OutcomeRow;
using cli::UnitOutcome;

// The code of the result a report names by its word; "" for a word no result has.
std::string known_code(const std::string& word) {
    for (const OutcomeRow& row : outcome_table()) {
        if (row.word == word) return std::string(row.code);
    }
    return "";
}

struct CliRun {
    testing::FakeLister lister;
    test::TempDir folder;
    std::ostringstream out, err;
    std::function<std::unique_ptr<SerialPort>()> make_port = [] { return make_serial_port(); };
    PortLister* ports = &lister;

    int operator()(std::vector<std::string> args) {
        out.str("");
        err.str("");
        cli::CliTool tool({make_port, *ports, out, err, 0ms});
        return tool.run(args);
    }
    // A profile as the simulator's unit holds it, with `changes` on top.
    std::string profile(const Json& changes) {
        sim::Device device;
        Json json = Json::parse(profile_text(
            decode_config_answer(*device.respond(std::string(configuration_read_request())))));
        if (changes.is_object()) json.update(changes);
        const auto file = folder.path() / "truck.json";
        std::ofstream(file) << json.dump(2);
        return file.string();
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out_lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) out_lines.push_back(line);
        return out_lines;
    }
};

// A unit that answers after 300 ms: within the default wait, and beyond a shorter one. Either
// way the write goes out once, is taken as done and read back.
TEST(CliTiming, ASlowUnitIsWrittenOnceAndReadBack) {
    for (const char* timeout : {"500", "250"}) {
        SCOPED_TRACE(timeout);
        Unit unit("356938035643809", {.delay = 300ms});
        CliRun run;
        const std::string file = run.profile({{"device_id", "0000077777"}});
        EXPECT_EQ(run({"config", "write", unit.port(), file, "--timeout", timeout}), 0)
            << run.err.str();
        EXPECT_EQ(unit.sent(kWriteCode), 1);
        EXPECT_EQ(unit.device_id(), "0000077777");
        EXPECT_EQ(run({"imei", unit.port(), "--timeout", timeout}), 0) << run.err.str();
        EXPECT_EQ(run.out.str(), "IMEI 356938035643809\nSIM 89701010000000000012\n");
    }
}

// A write lost on the line: no acknowledgement, early or late, and a read shows the old values,
// so it goes a second time, and only then.
TEST(CliTiming, AWriteLostOnTheLineIsSentAgainAfterAReadShowsTheOldValues) {
    Unit unit("356938035643809", {.silent_from = 1, .silent_to = 1});
    CliRun run;
    const std::string file = run.profile({{"device_id", "0000055555"}});
    EXPECT_EQ(run({"config", "write", unit.port(), file}), 0) << run.err.str();
    EXPECT_EQ(unit.sent(kWriteCode), 2);
    EXPECT_EQ(unit.device_id(), "0000055555");
}

TEST(CliFleet, WritesEveryUnitWithItsOwnValuesAndReportsTheOthers) {
    Unit good("356938035640001");
    Unit slow("356938035640002", {.delay = 300ms});
    Unit silent("356938035640003", {.silent = true});
    Unit refusing("356938035640004", {.unknown_code = true});
    Unit busy("356938035640005");
    auto holder = make_serial_port();
    ASSERT_TRUE(holder->OpenPort(busy.port(), kDeviceLine));

    for (const char* report_name : {"report.csv", "report.json"}) {
        SCOPED_TRACE(report_name);
        CliRun run;
        const std::string file = run.profile({{"device_id", "{imei:10}"}});
        const auto report = run.folder.path() / report_name;
        const int status = run({"fleet", "write", file, good.port(), slow.port(), silent.port(),
                                refusing.port(), busy.port(), "--report", report.string()});
        EXPECT_EQ(status, 3) << run.err.str();  // the worst: a port that did not open
        EXPECT_EQ(good.device_id(), "8035640001");
        EXPECT_EQ(slow.device_id(), "8035640002");
        EXPECT_EQ(run.lines().size(), 5u) << run.out.str();  // one line per unit
        EXPECT_NE(run.err.str().find("Трекеров: 5, выполнено: 2, с ошибкой: 3."), std::string::npos)
            << run.err.str();

        // The report lists the units in the order given.
        struct Row {
            std::string port, imei, result, status;
        };
        std::vector<Row> rows;
        const std::string text = *file_content(report);
        if (report.extension() == ".csv") {
            ASSERT_EQ(text.rfind("\xEF\xBB\xBF"
                                 "Порт;IMEI;SIM;",
                                 0),
                      0u)
                << text;
            auto table = testing::csv_table(text);
            ASSERT_FALSE(table.empty());
            table.erase(table.begin());
            for (const std::vector<std::string>& cells : table) {
                ASSERT_EQ(cells.size(), 15u) << text;
                rows.push_back({cells[0], csv_text(cells[1]), cells[5], cells[6]});
                EXPECT_EQ(cells[10], file);
                EXPECT_EQ(cells[11].rfind("velkon-cli ", 0), 0u) << cells[11];
                // The code beside the word, as in the JSON report.
                EXPECT_EQ(cells[12], known_code(cells[5])) << cells[5];
            }
        } else {
            const Json json = Json::parse(text);
            EXPECT_EQ(json["profile"], file);
            EXPECT_EQ(json["state"], "закончен");
            EXPECT_EQ(json["version"].get<std::string>().rfind("velkon-cli ", 0), 0u);
            for (const Json& row : json["units"]) {
                rows.push_back({row["port"], row["imei"], row["result_text"],
                                std::to_string(row["status"].get<int>())});
                // Scripts read the fixed code; people read the word beside it.
                EXPECT_EQ(row["result"], known_code(row["result_text"])) << row;
            }
        }
        const std::vector<std::vector<std::string>> expected = {
            {good.port(), "356938035640001", "записано", "0"},
            {slow.port(), "356938035640002", "записано", "0"},
            {silent.port(), "", "не отвечает", "1"},
            {refusing.port(), "", "ответ не на тот запрос", "1"},
            {busy.port(), "", "порт недоступен", "3"},
        };
        ASSERT_EQ(rows.size(), expected.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ((std::vector<std::string>{rows[i].port, rows[i].imei, rows[i].result,
                                                rows[i].status}),
                      expected[i]);
        }
    }
    EXPECT_EQ(silent.sent(kWriteCode), 0);
    EXPECT_EQ(busy.sent(kWriteCode), 0);
}

TEST(CliFleet, ReadsAndImeisOfUnitsSideBySide) {
    Unit a("356938035640011"), b("356938035640012");
    CliRun run;
    ASSERT_EQ(run({"fleet", "imei", a.port(), b.port(), "--json"}), 0) << run.err.str();
    std::set<std::string> imeis;
    for (const std::string& line : run.lines()) imeis.insert(Json::parse(line)["imei"]);
    EXPECT_EQ(imeis, (std::set<std::string>{"356938035640011", "356938035640012"}));

    const auto folder = run.folder.path() / "profiles";
    ASSERT_EQ(run({"fleet", "read", a.port(), b.port(), "-o", folder.string()}), 0)
        << run.err.str();
    for (const char* imei : {"356938035640011", "356938035640012"}) {
        const auto text = file_content(folder / (std::string(imei) + ".json"));
        ASSERT_TRUE(text) << imei;
        EXPECT_TRUE(load_profile_file(folder / (std::string(imei) + ".json"))) << *text;
    }
}

// Identifiers a spreadsheet would turn into numbers are written as text formulas; the rest as
// they are. Exactly the bytes of one row, after the BOM and the header.
TEST(CliFleet, ReportKeepsIdentifiersWholeInASpreadsheet) {
    Unit unit("356938035640021");
    CliRun run;
    const auto report = run.folder.path() / "report.csv";
    ASSERT_EQ(run({"fleet", "imei", unit.port(), "--report", report.string()}), 0) << run.err.str();
    const std::string text = *file_content(report);
    std::istringstream in(text);
    std::string header, row;
    std::getline(in, header);
    std::getline(in, row);
    EXPECT_EQ(header,
              "\xEF\xBB\xBF"
              "Порт;IMEI;SIM;Серийный номер;Версия ПО;Результат;Код;Различия;Сообщение;"
              "Начало работы;Профиль;Программа;Код результата;Изменения;Заполнено\r");
    const std::string start =
        unit.port() + ";=\"356938035640021\";=\"89701010000000000012\";=\"100500\";";
    EXPECT_EQ(row.rfind(start, 0), 0u) << row;
    EXPECT_NE(row.find(";прочитано;0;;;"), std::string::npos) << row;
    EXPECT_TRUE(row.ends_with(";read;;\r")) << row;
}

// The CSV and the JSON report carry the same: the result's code, the values changed as
// «ключ: было → стало» and the values filled in as «ключ = значение», one a line in a CSV cell.
TEST(CliFleetReport, CsvAndJsonCarryTheChangesAndTheFilledValues) {
    const auto units = testing::rendered_units();
    const cli::RunFacts run{"2026-12-11T09:30:05+03:00", "truck.json"};
    struct Expected {
        std::string code, changes, filled, status;
    };
    const Expected expected[] = {
        {"written", "device_id: 0000012345 → 8035640001\napn: internet → m2m;\"x\"",
         "device_id = 8035640001\naccess_password = 0001", "0"},
        {"differs", "server_port: 20332 → 20333", "", "1"},
        {"unfinished", "", "", ""},
    };

    const auto csv = cli::report_bytes(cli::ReportFormat::Csv, units, run, cli::RunState::Done);
    ASSERT_EQ(csv.error, 0);
    const auto table = testing::csv_table(csv.bytes);
    ASSERT_EQ(table.size(), 4u) << csv.bytes;
    EXPECT_EQ((std::vector<std::string>(table[0].begin() + 12, table[0].end())),
              (std::vector<std::string>{"Код результата", "Изменения", "Заполнено"}));
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto& cells = table[i + 1];
        ASSERT_EQ(cells.size(), 15u) << csv.bytes;
        EXPECT_EQ((std::vector<std::string>{cells[12], cells[13], cells[14], cells[6]}),
                  (std::vector<std::string>{expected[i].code, expected[i].changes,
                                            expected[i].filled, expected[i].status}));
    }
    EXPECT_EQ(table[2][7], "server_port");

    const auto json = cli::report_bytes(cli::ReportFormat::Json, units, run, cli::RunState::Done);
    ASSERT_EQ(json.error, 0);
    const Json rows = Json::parse(json.bytes)["units"];
    ASSERT_EQ(rows.size(), units.size());
    EXPECT_EQ(rows[0]["changes"], Json::parse(R"([{"key": "device_id", "before": "0000012345",
                                                   "after": "8035640001"},
                                                  {"key": "apn", "before": "internet",
                                                   "after": "m2m;\"x\""}])"));
    // The filled values keep the order they were filled in.
    EXPECT_EQ(rows[0]["filled"].dump(), R"({"device_id":"8035640001","access_password":"0001"})");
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::string changes, filled;
        for (const Json& c : rows[i]["changes"]) {
            changes += (changes.empty() ? "" : "\n") + c["key"].get<std::string>() + ": " +
                       c["before"].get<std::string>() + " → " + c["after"].get<std::string>();
        }
        for (const auto& [key, value] : rows[i]["filled"].items()) {
            filled += (filled.empty() ? "" : "\n") + key + " = " + value.get<std::string>();
        }
        const std::string status = rows[i]["status"].is_null() ? "" : rows[i]["status"].dump();
        EXPECT_EQ((std::vector<std::string>{rows[i]["result"], changes, filled, status}),
                  (std::vector<std::string>{expected[i].code, expected[i].changes,
                                            expected[i].filled, expected[i].status}));
    }
}

// A unit whose answer begins within the wait and ends after it is slow, not damaged; a whole
// answer with a wrong check byte is damaged; nothing at all is silence. The same words come in a
// fleet's report.
TEST(CliTiming, ASlowAnswerIsToldApartFromADamagedOne) {
    struct Case {
        const char* name;
        sim::Faults faults;
        const char* result;
        const char* said;
    };
    const Case cases[] = {
        {"cut_by_the_wait",
         // The first half comes at once; the wait leaves a wide margin for a loaded machine.
         {.split = true, .split_gap = 4000ms},
         "too-slow",
         "Ответ не успел прийти за 1500 мс: увеличьте --timeout"},
        {"wrong_check", {.wrong_check = true}, "damaged", "не сходится контрольный байт"},
        {"silent", {.silent = true}, "no-answer", "Устройство не отвечает"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Unit unit("356938035643809", c.faults);
        CliRun run;
        EXPECT_EQ(run({"imei", unit.port(), "--timeout", "1500"}), 1);
        EXPECT_NE(run.err.str().find(c.said), std::string::npos) << run.err.str();
        const auto report = run.folder.path() / "report.json";
        EXPECT_EQ(
            run({"fleet", "imei", unit.port(), "--timeout", "1500", "--report", report.string()}),
            1);
        const Json row = Json::parse(*file_content(report))["units"][0];
        EXPECT_EQ(row["result"], c.result);
        EXPECT_NE(row["message"].get<std::string>().find(c.said), std::string::npos) << row;
    }
}

// Two units that tell one IMEI: which profile the file would hold cannot be told, so neither is
// kept and both are refused; the third unit's profile is written.
TEST(CliFleet, TwoUnitsWithOneImeiAreBothRefused) {
    Unit a("356938035640031"), b("356938035640031"), c("356938035640032");
    CliRun run;
    const auto folder = run.folder.path() / "profiles";
    const auto report = run.folder.path() / "report.json";
    EXPECT_EQ(run({"fleet", "read", a.port(), b.port(), c.port(), "-o", folder.string(), "--report",
                   report.string()}),
              1)
        << run.err.str();
    std::set<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.insert(entry.path().filename().string());
    }
    EXPECT_EQ(files, std::set<std::string>{"356938035640032.json"});
    const Json units = Json::parse(*file_content(report))["units"];
    ASSERT_EQ(units.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(units[i]["result"], "duplicate-imei") << units[i];
        EXPECT_EQ(units[i]["status"], 1);
    }
    EXPECT_EQ(units[2]["result"], "read");
    EXPECT_NE(run.err.str().find("выполнено: 1, с ошибкой: 2."), std::string::npos)
        << run.err.str();
}

struct Filling {
    const char* name;
    std::vector<std::string> sets;
    sim::Faults faults;
    int status;
    std::string device_id;  // after the run
    std::string said;
};

void PrintTo(const Filling& f, std::ostream* os) {
    *os << f.name;
}

class CliPlaceholders : public ::testing::TestWithParam<Filling> {};

TEST_P(CliPlaceholders, FillFromTheUnitOrRefuseIt) {
    const Filling& f = GetParam();
    Unit unit("356938035643809", f.faults);
    CliRun run;
    const std::string file = run.profile({});
    std::vector<std::string> args = {"config", "write", unit.port(), file};
    for (const std::string& set : f.sets) {
        args.push_back("--set");
        args.push_back(set);
    }
    EXPECT_EQ(run(args), f.status) << run.err.str();
    EXPECT_NE(run.err.str().find(f.said), std::string::npos) << run.err.str();
    EXPECT_EQ(unit.sent(kWriteCode), f.status == 0 ? 1 : 0);
    EXPECT_EQ(unit.device_id(), f.device_id);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliPlaceholders,
    ::testing::Values(
        Filling{"imei_tail", {"device_id={imei:10}"}, {}, 0, "8035643809", "записана"},
        Filling{"serial_and_text", {"device_id=S{serial}"}, {}, 0, "S100500", "записана"},
        Filling{"sim_tail_in_password",
                {"device_id={sim:4}-{imei:3}", "access_password=pw"},
                {},
                0,
                "0012-809",
                "записана"},
        Filling{"too_few_characters",
                {"device_id={serial:8}"},
                {},
                2,
                "0000012345",
                "нужно 8 знаков, а у трекера только 6 («100500»)"},
        // Sixteen characters can never fit: refused before any unit is asked.
        Filling{"wider_than_the_field",
                {"device_id={imei:16}"},
                {},
                2,
                "0000012345",
                "«device_id»: Текст поля «Идентификатор устройства» длиннее 10"},
        // Anything in braces but the documented forms refuses the run before a frame is sent.
        Filling{"capitals", {"device_id={IMEI:10}"}, {}, 2, "0000012345", "«{IMEI:10}»"},
        Filling{"mixed_case", {"device_id={Imei}"}, {}, 2, "0000012345", "«{Imei}»"},
        Filling{"unclosed", {"device_id={imei:10"}, {}, 2, "0000012345", "«{imei:10»"},
        Filling{"blank_inside", {"device_id={sim:8 }"}, {}, 2, "0000012345", "«{sim:8 }»"},
        Filling{"cyrillic_name", {"device_id={имя:10}"}, {}, 2, "0000012345", "«{имя:10}»"},
        Filling{"unknown_name", {"device_id={foo}"}, {}, 2, "0000012345", "«{foo}»"},
        Filling{"lone_brace", {"access_password=pw}"}, {}, 2, "0000012345", "«access_password»"},
        Filling{"no_count", {"device_id={imei:}"}, {}, 2, "0000012345", "«{imei:}»"},
        Filling{"filled_too_wide", {"device_id={imei}{imei}"}, {}, 2, "0000012345", "«device_id»"},
        Filling{"unit_silent",
                {"device_id={imei:10}"},
                {.silent = true},
                1,
                "0000012345",
                "IMEI не прочитан"}),
    [](const auto& info) { return std::string(info.param.name); });

// The same forms in a profile file, for a whole fleet: one mistyped placeholder and no unit is
// touched.
TEST(CliFleet, AMistypedPlaceholderInTheFileTouchesNoUnit) {
    Unit a("356938035640021"), b("356938035640022");
    CliRun run;
    const std::string file = run.profile({{"device_id", "{IMEI:10}"}});
    EXPECT_EQ(run({"fleet", "write", file, a.port(), b.port()}), 2);
    EXPECT_NE(run.err.str().find("«device_id»"), std::string::npos) << run.err.str();
    EXPECT_NE(run.err.str().find("«{IMEI:10}»"), std::string::npos) << run.err.str();
    for (Unit* unit : {&a, &b}) {
        EXPECT_EQ(unit->sent(kWriteCode), 0);
        EXPECT_EQ(unit->device_id(), "0000012345");
    }
}

// The units of a JSON report by port: result code and status ("null" for none).
std::map<std::string, std::pair<std::string, std::string>> report_rows(
    const std::filesystem::path& report) {
    std::map<std::string, std::pair<std::string, std::string>> rows;
    const Json json = Json::parse(*file_content(report));
    for (const Json& unit : json["units"]) {
        rows[unit["port"].get<std::string>()] = {unit["result"].get<std::string>(),
                                                 unit["status"].dump()};
    }
    return rows;
}

// Each unit's row of a values table found by its IMEI; a unit without a row is refused, or with
// --values-optional written with the profile's values. Cells may hold placeholders.
TEST(CliFleetValues, ATableGivesEachUnitItsOwnValues) {
    for (const bool optional : {false, true}) {
        SCOPED_TRACE(optional ? "optional" : "required");
        Unit a("356938035640041"), b("356938035640042"), c("356938035640043"), d("356938035640044");
        CliRun run;
        const std::string file = run.profile({});
        const auto values = run.folder.path() / "values.csv";
        // As Excel saves «CSV UTF-8»: BOM, ';', CRLF, a quoted cell.
        std::ofstream(values) << "\xEF\xBB\xBFimei;device_id;period\r\n"
                                 "356938035640041;A-{imei:4};\r\n"
                                 "356938035640042;\"B;2\";120\r\n"
                                 "356938035640043;C3;\r\n";
        const auto report = run.folder.path() / "report.json";
        std::vector<std::string> args = {"fleet",         "write",    file,           a.port(),
                                         b.port(),        c.port(),   d.port(),       "--values",
                                         values.string(), "--report", report.string()};
        if (optional) args.push_back("--values-optional");
        EXPECT_EQ(run(args), optional ? 0 : 2) << run.err.str();
        EXPECT_EQ(a.device_id(), "A-0041");
        EXPECT_EQ(b.device_id(), "B;2");
        EXPECT_EQ(c.device_id(), "C3");
        EXPECT_EQ(
            b.server.with_device([](sim::Device& dev) { return dev.tracker().config.period; }),
            120);
        EXPECT_EQ(d.sent(kWriteCode), optional ? 1 : 0);
        const auto rows = report_rows(report);
        EXPECT_EQ(rows.at(d.port()).first, optional ? "written" : "no-values");
        if (!optional) {
            EXPECT_NE(run.out.str().find(
                          "нет строки с IMEI 356938035640044; чтобы записать такие трекеры"),
                      std::string::npos)
                << run.out.str();
        }
    }
}

// A value of the table that the checks refuse, as typed or once filled, refuses its unit and
// names the table's line.
TEST(CliFleetValues, ARefusedValueNamesTheTablesLine) {
    const struct {
        const char* key;
        const char* value;
        const char* said;
    } cases[] = {
        {"server_port", "abc", "строка 3: Ключ «server_port»"},
        {"device_id", "{imei}", "строка 3: Заполненный профиль не принят. Ключ «device_id»"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        Unit unit("356938035640111");
        CliRun run;
        const std::string file = run.profile({});
        const auto values = run.folder.path() / "values.csv";
        std::ofstream(values) << "port;" << c.key << "\nother;1\n"
                              << unit.port() << ";" << c.value << "\n";
        EXPECT_EQ(run({"fleet", "write", file, unit.port(), "--values", values.string()}), 2);
        EXPECT_NE(run.out.str().find(unit.port() + ": отказано"), std::string::npos)
            << run.out.str();
        EXPECT_NE(run.out.str().find("Таблица значений «" + values.string() + "», " + c.said),
                  std::string::npos)
            << run.out.str();
        EXPECT_EQ(unit.sent(kWriteCode), 0);
    }
}

// A port row names the device, not the text: the table may name the adapter by a link or another
// spelling of its path than the command line does.
TEST(CliFleetValues, APortRowFindsItsDeviceUnderAnotherName) {
    Unit a("356938035640121"), b("356938035640122");
    CliRun run;
    const std::string file = run.profile({});
    const auto link = run.folder.path() / "truck-7";
    std::filesystem::create_symlink(a.port(), link);
    const std::string dotted = "/dev/../dev/" + b.port().substr(std::string("/dev/").size());
    const auto values = run.folder.path() / "values.csv";
    std::ofstream(values) << "port;device_id\n"
                          << link.string() << ";TRUCK7\n"
                          << dotted << ";TRUCK8\n";
    EXPECT_EQ(run({"fleet", "write", file, a.port(), b.port(), "--values", values.string()}), 0)
        << run.out.str() << run.err.str();
    EXPECT_EQ(a.device_id(), "TRUCK7");
    EXPECT_EQ(b.device_id(), "TRUCK8");
}

// What must be each unit's own is checked over the whole fleet before anything is written: two
// units telling one IMEI, or two filled values alike (device_id always, and the --unique keys),
// refuse every unit concerned, and nothing is written to them.
TEST(CliFleetValues, UnitsThatCannotBeToldApartAreAllRefusedBeforeAnyWrite) {
    const struct {
        const char* name;
        std::vector<std::string> imeis;
        std::vector<std::string> options;
        std::vector<std::string> results;
        int status;
        std::string said;
    } cases[] = {
        {"one_imei_twice",
         {"356938035640051", "356938035640051", "356938035640052"},
         {"--set", "device_id={imei:10}"},
         {"duplicate-imei", "duplicate-imei", "written"},
         1,
         "IMEI 356938035640051 сообщили трекеры на портах"},
        {"device_id_alike",
         {"356938035640101", "356938035640201", "356938035640302"},
         {"--set", "device_id={imei:2}"},
         {"duplicate-value", "duplicate-value", "written"},
         2,
         "device_id «01» — у трекеров на портах"},
        {"unique_key_alike",
         {"356938035640061", "356938035640062", "356938035640063"},
         {"--set", "device_id={imei:10}", "--unique", "apn"},
         {"duplicate-value", "duplicate-value", "duplicate-value"},
         2,
         "apn «internet» — у трекеров на портах"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<Unit>> units;
        for (const std::string& imei : c.imeis) units.push_back(std::make_unique<Unit>(imei));
        CliRun run;
        const std::string file = run.profile({});
        const auto report = run.folder.path() / "report.json";
        std::vector<std::string> args = {"fleet", "write", file};
        for (const auto& unit : units) args.push_back(unit->port());
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"--report", report.string()});
        EXPECT_EQ(run(args), c.status) << run.err.str();
        const auto rows = report_rows(report);
        for (std::size_t i = 0; i < units.size(); ++i) {
            EXPECT_EQ(rows.at(units[i]->port()).first, c.results[i]) << i;
            EXPECT_EQ(units[i]->sent(kWriteCode), c.results[i] == "written" ? 1 : 0) << i;
        }
        EXPECT_NE(run.out.str().find(c.said), std::string::npos) << run.out.str();
        EXPECT_NE(run.out.str().find("на портах " + in_quotes(units[0]->port())), std::string::npos)
            << run.out.str();
    }
}

// A dry run reads every unit and decides as a write would, and sends no write: each line lists
// what would change, before and after.
TEST(CliFleetValues, ADryRunWritesNothingAndListsTheDifferences) {
    Unit same("356938035640071"), other("356938035640072");
    CliRun run;
    const std::string file = run.profile({});
    const auto values = run.folder.path() / "values.csv";
    std::ofstream(values) << "port,device_id,period\n"
                          << same.port() << ",0000012345,\n"
                          << other.port() << ",{imei:10},120\n";
    const auto report = run.folder.path() / "report.json";
    EXPECT_EQ(run({"fleet", "write", file, same.port(), other.port(), "--values", values.string(),
                   "--dry-run", "--report", report.string()}),
              0)
        << run.err.str();
    EXPECT_EQ(same.sent(kWriteCode) + other.sent(kWriteCode), 0);
    EXPECT_EQ(same.sent("A2"), 1);  // the record was read
    EXPECT_EQ(other.device_id(), "0000012345");
    const auto rows = report_rows(report);
    EXPECT_EQ(rows.at(same.port()), std::make_pair(std::string("unchanged"), std::string("0")));
    EXPECT_EQ(rows.at(other.port()), std::make_pair(std::string("would-change"), std::string("0")));
    EXPECT_NE(run.out.str().find(other.port() + ": будет изменено; IMEI 356938035640072"),
              std::string::npos)
        << run.out.str();
    EXPECT_NE(run.out.str().find("; изменится: device_id «0000012345» → «8035640072», period "
                                 "«60» → «120»\n"),
              std::string::npos)
        << run.out.str();
    EXPECT_NE(run.out.str().find(same.port() + ": без изменений"), std::string::npos);
}

// The unit's record before the write and the values filled in are kept with its result.
TEST(CliFleetValues, AWriteTellsWhatItChangedAndWhatWasFilledIn) {
    Unit unit("356938035640081");
    CliRun run;
    cli::ProfileTemplate profile = cli::load_profile_template(
        run.profile({{"device_id", "{imei:10}"}, {"apn", "{serial}"}, {"period", 60}}), {});
    ASSERT_TRUE(profile) << profile.error;
    const cli::UnitReport report = cli::write_unit(
        {unit.port(), unit.port()}, {[] { return make_serial_port(); }, 500ms}, profile, true);
    EXPECT_EQ(report.outcome, UnitOutcome::Written) << report.message;
    std::vector<std::vector<std::string>> changes;
    for (const auto& c : report.changes) changes.push_back({c.key, c.before, c.after});
    EXPECT_EQ(changes,
              (std::vector<std::vector<std::string>>{{"apn", "internet", "100500"},
                                                     {"device_id", "0000012345", "8035640081"}}));
    EXPECT_EQ(report.filled, (std::vector<std::pair<std::string, std::string>>{
                                 {"apn", "100500"}, {"device_id", "8035640081"}}));
}

// A run again over the units an earlier report lists as not done (status not 0, or none), from
// its JSON or its CSV; once all are done there is nothing to run.
TEST(CliFleetValues, OnlyFailedRunsTheUnitsTheReportListsAsNotDone) {
    for (const char* kind : {".json", ".csv"}) {
        SCOPED_TRACE(kind);
        Unit good("356938035640091"), silent("356938035640092", {.silent = true});
        CliRun run;
        const std::string file = run.profile({{"device_id", "{imei:10}"}});
        const auto first = run.folder.path() / (std::string("first") + kind);
        EXPECT_EQ(
            run({"fleet", "write", file, good.port(), silent.port(), "--report", first.string()}),
            1);
        silent.server.set_faults({});
        const auto second = run.folder.path() / (std::string("second") + kind);
        EXPECT_EQ(run({"fleet", "write", file, "--only-failed", first.string(), "--report",
                       second.string()}),
                  0)
            << run.err.str();
        ASSERT_EQ(run.lines().size(), 1u) << run.out.str();
        EXPECT_EQ(run.lines()[0].rfind(silent.port() + ": записано", 0), 0u) << run.out.str();
        EXPECT_EQ(good.sent(kWriteCode), 1);
        EXPECT_EQ(silent.device_id(), "8035640092");

        EXPECT_EQ(run({"fleet", "imei", "--only-failed", second.string()}), 0);
        EXPECT_EQ(run.out.str(), "");
        EXPECT_NE(run.err.str().find("Все трекеры в отчёте «" + second.string() + "» выполнены."),
                  std::string::npos)
            << run.err.str();
    }
}

// Values that make no sense for their field are refused before a frame is sent.
TEST(CliSet, ValuesOfTheWrongKindAreRefusedBeforeAnythingIsSent) {
    const struct {
        const char* set;
        const char* said;
    } cases[] = {
        {"server_port=abc", "от 1 до 65535"},
        {"server_port=99999", "от 1 до 65535"},
        {"server_port=", "от 1 до 65535"},
        {"server_port=203320", "не больше 5 цифр"},
        {"server=not a host!", "«server»"},
        {"sim_pin=12ab", "только цифры"},
        {"apn=inter\tnet", "управляющий символ (код 9)"},
        {"apn=inter\x1Fnet", "управляющий символ (код 31)"},
    };
    Unit unit;
    for (const auto& c : cases) {
        CliRun run;
        const std::string file = run.profile({});
        EXPECT_EQ(run({"config", "write", unit.port(), file, "--set", c.set}), 2) << c.set;
        EXPECT_NE(run.err.str().find(c.said), std::string::npos) << c.set << ": " << run.err.str();
    }
    EXPECT_EQ(unit.sent(kWriteCode), 0);
}

TEST(CliSet, SetsChannelsAndFlagsBeforeTheWrite) {
    Unit unit;
    CliRun run;
    const std::string file = run.profile({});
    ASSERT_EQ(run({"config", "write", unit.port(), file, "--set", "channels[3].address=7", "--set",
                   "channels[3].enabled=true", "--set", "period=120"}),
              0)
        << run.err.str();
    const auto config = unit.server.with_device([](sim::Device& d) { return d.tracker().config; });
    EXPECT_EQ(config.channel_addresses[3], 7);
    EXPECT_TRUE(config.channel_enabled(3));
    EXPECT_EQ(config.period, 120);
}

// The console is never listed by default, nor opened without --console; nothing here can reach
// a real device: the port is a fake that records what would be opened.
TEST(CliConsole, IsMarkedAndRefused) {
    test::TempDir sysfs;
    for (const char* name : {"ttyS0", "ttyUSB0"}) {
        sysfs.make_dir(std::string(name) + "/device/driver");
        sysfs.write_file(std::string(name) + "/type", "4\n");
    }
    sysfs.write_file("console/active", "tty0 ttyS0\n");
    auto lister = make_system_port_lister(sysfs.path());
    std::vector<std::string> opened;
    CliRun run;
    run.ports = lister.get();
    // Records every path it is asked to open, and opens none.
    struct RecordingPort : testing::FakePort {
        std::vector<std::string>* opened = nullptr;
        bool OpenPort(const std::string& path, const LineSettings& line) override {
            opened->push_back(path);
            return FakePort::OpenPort(path, line);
        }
    };
    run.make_port = [&opened] {
        auto port = std::make_unique<RecordingPort>();
        port->open_succeeds = false;
        port->open_error.failure = OpenFailure::NoSuchDevice;
        port->opened = &opened;
        return std::unique_ptr<SerialPort>(std::move(port));
    };

    EXPECT_EQ(run({"ports"}), 0);
    EXPECT_EQ(run.out.str(), "ttyUSB0\n");
    EXPECT_NE(run.err.str().find("ttyS0 — консоль системы"), std::string::npos);
    EXPECT_EQ(run({"ports", "--all"}), 0);
    EXPECT_EQ(run.out.str(), "ttyUSB0\nttyS0\tконсоль\n");

    for (const auto& args :
         std::vector<std::vector<std::string>>{{"imei", "ttyS0"},
                                               {"readings", "/dev/ttyS0", "--count", "1"},
                                               {"fleet", "imei", "ttyS0"}}) {
        EXPECT_EQ(run(args), 2) << args[1];
        EXPECT_NE((run.err.str() + run.out.str()).find("консоль системы"), std::string::npos)
            << run.err.str();
    }
    EXPECT_TRUE(opened.empty());
    // With --console the open is tried (here on the fake, which fails).
    EXPECT_EQ(run({"imei", "ttyS0", "--console"}), 3);
    EXPECT_EQ(opened, std::vector<std::string>{"/dev/ttyS0"});
}

// Requests 2 to 4 are lost: the second reading is a gap line, and the log goes on.
TEST(CliLog, ReadingsAndLiveDataCarryOnAcrossAGap) {
    const std::regex iso_time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)");
    for (const char* command : {"readings", "live"}) {
        SCOPED_TRACE(command);
        Unit unit("356938035643809", {.silent_from = 2, .silent_to = 4});
        CliRun run;
        EXPECT_EQ(run({command, unit.port(), "--count", "3", "--json"}), 1) << run.err.str();
        const auto lines = run.lines();
        ASSERT_EQ(lines.size(), 3u) << run.out.str();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const Json line = Json::parse(lines[i]);
            EXPECT_TRUE(std::regex_match(line["time"].get<std::string>(), iso_time)) << lines[i];
            EXPECT_EQ(line.contains("gap"), i == 1) << lines[i];
        }
        EXPECT_NE(lines[1].find("не отвечает"), std::string::npos);
    }
    Unit unit("356938035643809", {.silent_from = 2, .silent_to = 4});
    CliRun run;
    EXPECT_EQ(run({"live", unit.port(), "--count", "3", "--csv"}), 1);
    const auto lines = run.lines();
    ASSERT_EQ(lines.size(), 4u) << run.out.str();
    EXPECT_EQ(lines[0].rfind("time;satellites;gsm;supply;", 0), 0u) << lines[0];
    EXPECT_NE(lines[1].find(";9;21;13.8;"), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("Нет данных"), std::string::npos) << lines[2];
}

TEST(CliLive, ShowsWhatTheTrackerPageShows) {
    Unit unit;
    CliRun run;
    ASSERT_EQ(run({"live", unit.port(), "--count", "1"}), 0) << run.err.str();
    EXPECT_NE(run.out.str().find("Спутников 9; GSM 21; Пит 13.8 В;"), std::string::npos)
        << run.out.str();
    EXPECT_NE(run.out.str().find("Каналы RS-485 "), std::string::npos);
}

TEST(CliWriteCheck, DifferencesNameTheKeyAndBothValues) {
    sim::Device device;
    const TrackerConfig written =
        decode_config_answer(*device.respond(std::string(configuration_read_request())));
    TrackerConfig read = decode_config_answer(encode_config_frame(written).frame);
    EXPECT_TRUE(cli::differing_fields(written, read).empty());
    const auto layout = tracker_config_layout();
    auto row = [&](ControlName control) {
        for (std::size_t i = 0; i < layout.size(); ++i) {
            if (layout[i].control == control) return i;
        }
        return layout.size();
    };
    read.values[row(ctl::port_serv)] = std::string("2033");
    read.values[row(ctl::Check3)] = std::uint32_t{1};
    EXPECT_EQ(cli::differing_fields(written, read),
              (std::vector<std::string>{"«server_port»: записано «20332», прочитано «2033»",
                                        "«channels[2].enabled»: записано false, прочитано true"}));
    EXPECT_EQ(cli::differing_keys(written, read),
              (std::vector<std::string>{"server_port", "channels[2].enabled"}));
}

// Each result has one row: a code a script can match, a word no other result uses, and a line in
// the help text, so a report never holds a word the documentation leaves out.
TEST(CliResults, EveryOutcomeHasItsOwnCodeWordAndHelpLine) {
    std::set<std::string_view> codes, words;
    const std::string help = velkon::cli::help_text();
    for (int i = 0; i <= static_cast<int>(UnitOutcome::Unfinished); ++i) {
        const OutcomeRow& row = outcome_row(static_cast<UnitOutcome>(i));
        EXPECT_EQ(static_cast<int>(row.outcome), i);
        EXPECT_TRUE(codes.insert(row.code).second) << row.code;
        EXPECT_TRUE(words.insert(row.word).second) << row.word;
        EXPECT_NE(help.find(std::string(row.word) + " (" + std::string(row.code) + ")"),
                  std::string::npos)
            << row.code;
    }
}

// The man page and the guide list every result as the help does, «слово (код)», so neither can
// leave out a word a report may hold; and all three tell of the Excel report.
TEST(CliResults, EveryOutcomeIsInTheManualPageAndTheGuide) {
    const std::filesystem::path source(VELKON_SOURCE_DIR);
    auto man = file_content(source / "docs/man/velkon-cli.1");
    const auto guide = file_content(source / "docs/guide.ru.md");
    ASSERT_TRUE(man && guide);
    // roff writes a hyphen as \-.
    for (std::size_t at = man->find("\\-"); at != std::string::npos; at = man->find("\\-", at)) {
        man->erase(at, 1);
    }
    const std::pair<const char*, const std::string*> documents[] = {{"velkon-cli.1", &*man},
                                                                    {"guide.ru.md", &*guide}};
    for (const auto& [name, text] : documents) {
        for (const OutcomeRow& row : outcome_table()) {
            const std::string entry = std::string(row.word) + " (" + std::string(row.code) + ")";
            EXPECT_NE(text->find(entry), std::string::npos) << name << ": " << entry;
        }
        EXPECT_NE(text->find(".xlsx"), std::string::npos) << name;
    }
    EXPECT_NE(velkon::cli::help_text().find(".xlsx"), std::string::npos);
}

}  // namespace
}  // namespace velkon
