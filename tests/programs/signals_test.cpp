// Every way a signal ends velkon-cli and the window gives the serial line back as it was found:
// Ctrl-C, kill, a closed terminal, a closed pipe. The real programs run as child processes on the
// simulator's pseudo-terminal, and the test looks at the line's settings after they ended.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "programs/programs_fixture.h"
#include "programs/xlsx_cells.h"
#include "support/csv_table.h"
#include "support/sim_unit.h"

namespace velkon::test {
namespace {

struct Ending {
    const char* name;
    int signal;
    bool by_closing_the_pipe;  // the reader of the output goes away (`| head -n1`)
};

void PrintTo(const Ending& e, std::ostream* os) {
    *os << e.name;
}

constexpr Ending kEndings[] = {
    {"interrupt", SIGINT, false},
    {"terminate", SIGTERM, false},
    {"hangup", SIGHUP, false},
    {"closed_pipe", SIGPIPE, true},
};

std::string ending_name(const ::testing::TestParamInfo<Ending>& info) {
    return info.param.name;
}

class CliEndsBySignal : public ::testing::TestWithParam<Ending> {};

// The readings go on for as long as the unit answers, so the signal comes while the port is open.
// The program ends the way the signal would end it (status 128 + N in a shell).
TEST_P(CliEndsBySignal, GivesTheLineBackAndEndsAsTheSignalWould) {
    const Ending& ending = GetParam();
    KnownLine line;
    OutputPipe out;
    TempDir folder;
    const auto err = folder.path() / "err";
    UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    ChildProcess cli(
        {.args = {program_path("velkon-cli"), "readings", line.path(), "--count", "100000"},
         .out_fd = out.write.get(),
         .err_fd = err_fd.get()});
    ASSERT_TRUE(cli.started());
    out.write.reset();
    ASSERT_TRUE(line.in_use());
    if (ending.by_closing_the_pipe) {
        EXPECT_NE(out.first_line(kProgramEnds).find("Уровень"), std::string::npos);
        out.read.reset();
    } else {
        ASSERT_TRUE(cli.send(ending.signal));
    }
    const auto status = cli.wait(kProgramEnds);
    ASSERT_TRUE(status) << "velkon-cli did not end";
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == ending.signal)
        << describe_wait_status(*status) << "\n"
        << content_of(err);
    line.expect_given_back();
}

INSTANTIATE_TEST_SUITE_P(Signals, CliEndsBySignal, ::testing::ValuesIn(kEndings), ending_name);

struct FleetEnding {
    const char* name;
    int signal;
    const char* report;
    // The signal comes while one unit is still being identified: every unit waits for it before
    // any write.
    bool before_any_write;
};

void PrintTo(const FleetEnding& e, std::ostream* os) {
    *os << e.name;
}

constexpr FleetEnding kFleetEndings[] = {
    {"interrupt_json", SIGINT, "fleet.json", false},
    {"terminate_csv", SIGTERM, "fleet.csv", false},
    {"hangup_json", SIGHUP, "fleet.json", false},
    {"interrupt_before_any_write_csv", SIGINT, "fleet.csv", true},
    {"interrupt_xlsx", SIGINT, "fleet.xlsx", false},
};

class FleetEndsBySignal : public ::testing::TestWithParam<FleetEnding> {};

// A fleet write ended by a signal leaves its record: the unit done keeps its row, every other is
// «прервано» and says how far its write went, the summary is printed, an older report of the name
// is replaced, and the program ends as the signal would. With a long wait no unit at work can end
// before the signal. After the writes: one unit is done at once, one never acknowledges its write
// (nor takes it), one acknowledges it and then never answers the read-back. Before any write: one
// unit never answers its IMEI question, so the other, identified, waits for it, and neither gets a
// write.
TEST_P(FleetEndsBySignal, ReportsEveryUnitAsItWasLeft) {
    const FleetEnding& ending = GetParam();
    testing::SimUnit done("356938035640001", {});
    testing::SimUnit unacknowledged("356938035640002", {.ignore_code = 0xA3});
    testing::SimUnit unchecked("356938035640003", {.silent_from = 4, .silent_to = 1'000'000});
    testing::SimUnit silent("356938035640004", {.silent = true});
    TempDir folder;
    const auto profile = folder.path() / "truck.json";
    {
        ChildProcess read({.args = {program_path("velkon-cli"), "config", "read", done.port(), "-o",
                                    profile.string()}});
        const auto status = read.wait(kProgramEnds);
        ASSERT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    }
    const auto report = folder.write_file(ending.report, "an older run's report\n");
    const auto err = folder.path() / "err";
    UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    OutputPipe out;
    std::vector<std::string> args = {program_path("velkon-cli"), "fleet", "write", profile.string(),
                                     done.port()};
    if (ending.before_any_write) {
        args.push_back(silent.port());
    } else {
        args.insert(args.end(), {unacknowledged.port(), unchecked.port()});
    }
    args.insert(args.end(), {"--set", "device_id={imei:10}", "--timeout", "30000", "--report",
                             report.string()});
    ChildProcess cli({.args = args, .out_fd = out.write.get(), .err_fd = err_fd.get()});
    ASSERT_TRUE(cli.started());
    out.write.reset();
    std::string lines;
    if (ending.before_any_write) {
        // IMEI and record: the unit is identified and waits; the other unit has been asked.
        ASSERT_TRUE(done.server.wait_requests(2, kProgramEnds));
        ASSERT_TRUE(silent.server.wait_requests(1, kProgramEnds));
    } else {
        lines = out.first_line(kProgramEnds);
        EXPECT_EQ(lines.rfind(done.port() + ": записано", 0), 0u) << lines;
        // IMEI, record, write: the write has reached the unit that will not acknowledge it; and
        // the read-back after an acknowledged write has reached the unit that will not answer it.
        ASSERT_TRUE(unacknowledged.server.wait_requests(3, kProgramEnds));
        ASSERT_TRUE(unchecked.server.wait_requests(4, kProgramEnds));
    }
    ASSERT_TRUE(cli.send(ending.signal));
    const auto status = cli.wait(kProgramEnds);
    ASSERT_TRUE(status) << "velkon-cli did not end";
    const std::string said = content_of(err);
    EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == ending.signal)
        << describe_wait_status(*status) << "\n"
        << said;
    EXPECT_NE(said.find(ending.before_any_write
                            ? "Трекеров: 2, выполнено: 0, с ошибкой: 0, прервано: 2."
                            : "Трекеров: 3, выполнено: 1, с ошибкой: 0, прервано: 2."),
              std::string::npos)
        << said;
    lines += out.rest();

    // What the units hold.
    EXPECT_EQ(done.device_id(), ending.before_any_write ? "0000012345" : "8035640001");
    EXPECT_EQ(done.sent("A3"), ending.before_any_write ? 0 : 1);
    EXPECT_EQ(unacknowledged.sent("A3"), ending.before_any_write ? 0 : 1);
    EXPECT_EQ(unchecked.sent("A3"), ending.before_any_write ? 0 : 1);
    EXPECT_EQ(silent.sent("A3"), 0);

    struct Row {
        std::string port, result, status, message, profile, version;
    };
    std::vector<Row> rows;
    const std::string text = content_of(report);
    if (std::string(ending.report).ends_with(".csv")) {
        auto table = testing::csv_table(text);
        ASSERT_FALSE(table.empty());
        for (auto cells = table.begin() + 1; cells != table.end(); ++cells) {
            ASSERT_EQ(cells->size(), 15u) << text;
            const auto& c = *cells;
            rows.push_back({c[0], c[5], c[6], c[8], c[10], c[11]});
        }
    } else if (std::string(ending.report).ends_with(".xlsx")) {
        // The workbook another program reads: the rows under the header, the run above it.
        const XlsxSheet sheet = read_xlsx(report);
        ASSERT_EQ(sheet.error, "");
        EXPECT_EQ(sheet.beside("Состояние"), "прерван");
        const int header = sheet.row_starting("Порт");
        ASSERT_GE(header, 0) << sheet.rows.dump();
        for (std::size_t i = header + 1; i < sheet.rows.size(); ++i) {
            const auto& unit = sheet.rows[i];
            ASSERT_GE(unit.size(), 12u) << unit;
            rows.push_back({unit[0], unit[5], unit[7].dump(), unit[11], sheet.beside("Профиль"),
                            sheet.beside("Программа")});
        }
    } else {
        const auto json = nlohmann::json::parse(text, nullptr, false);
        ASSERT_TRUE(json.is_object()) << text;
        EXPECT_EQ(json["state"], "прерван");
        EXPECT_FALSE(json["started"].get<std::string>().empty());
        for (const auto& unit : json["units"]) {
            rows.push_back({unit["port"], unit["result_text"], unit["status"].dump(),
                            unit["message"], json["profile"], json["version"]});
        }
    }
    const std::string stopped = std::to_string(128 + ending.signal);
    const std::vector<std::vector<std::string>> expected =
        ending.before_any_write
            ? std::vector<std::vector<std::string>>{
                  {done.port(), "прервано", stopped, "Кадр записи не отправлялся"},
                  {silent.port(), "прервано", stopped, "Кадр записи не отправлялся"},
              }
            : std::vector<std::vector<std::string>>{
                  {done.port(), "записано", "0", "Конфигурация записана"},
                  {unacknowledged.port(), "прервано", stopped, "Кадр записи отправлен"},
                  {unchecked.port(), "прервано", stopped, "Трекер подтвердил запись"},
              };
    ASSERT_EQ(rows.size(), expected.size()) << text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ((std::vector<std::string>{rows[i].port, rows[i].result, rows[i].status}),
                  (std::vector<std::string>{expected[i][0], expected[i][1], expected[i][2]}));
        EXPECT_NE(rows[i].message.find(expected[i][3]), std::string::npos) << rows[i].message;
        EXPECT_EQ(rows[i].profile, profile.string());
        EXPECT_EQ(rows[i].version.rfind("velkon-cli ", 0), 0u) << rows[i].version;
        if (expected[i][1] == "прервано") {
            EXPECT_NE(lines.find(expected[i][0] + ": прервано"), std::string::npos) << lines;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, FleetEndsBySignal, ::testing::ValuesIn(kFleetEndings),
                         [](const auto& info) { return std::string(info.param.name); });

// The window: the environment a desktop gives it, a program folder of its own.
Launch window_launch(const TempDir& home, std::vector<std::string> args, int err_fd) {
    args.insert(args.begin(), program_path("velkon-configurator"));
    return {.args = std::move(args),
            .env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + home.path().string(),
                    "XDG_DATA_HOME=" + (home.path() / "data").string(),
                    "XDG_RUNTIME_DIR=" + home.path().string()},
            .err_fd = err_fd};
}

class WindowEndsBySignal : public ::testing::TestWithParam<Ending> {};

// The window ends on a signal as it does when closed: the link is closed first, and it leaves
// with status 0.
TEST_P(WindowEndsBySignal, GivesTheLineBackAndEndsProperly) {
    const Ending& ending = GetParam();
    KnownLine line;
    TempDir home;
    const auto err = home.path() / "err";
    UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    Launch launch = window_launch(home, {"--open", line.path()}, err_fd.get());
    launch.env.push_back("VELKON_EXTRA_PORTS=" + line.path());
    ChildProcess window(launch);
    ASSERT_TRUE(window.started());
    ASSERT_TRUE(line.in_use()) << content_of(err);
    ASSERT_TRUE(window.send(ending.signal));
    const auto status = window.wait(kProgramEnds);
    ASSERT_TRUE(status) << "the window did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << describe_wait_status(*status) << "\n"
        << content_of(err);
    line.expect_given_back();
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowEndsBySignal, ::testing::ValuesIn(kEndings), ending_name);

// A start-up box (here «Error#76»: a file where the folder `base` belongs) waits for the user
// before the window's event loop runs; a signal ends the program there too. The signal is sent at
// once and waits, blocked, until the program takes it over, so it is handled while the box is
// the only thing running.
TEST(WindowEndsBySignal, EvenWhileTheStartUpBoxIsOpen) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        TempDir home;
        home.write_file("data/velkon-configurator/base", "not a folder");
        const auto err = home.path() / "err";
        UniqueFd err_fd(::open(err.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        Launch launch = window_launch(home, {}, err_fd.get());
        launch.end_signals_blocked = true;
        ChildProcess window(launch);
        ASSERT_TRUE(window.started());
        ASSERT_TRUE(window.send(signal));
        const auto status = window.wait(kProgramEnds);
        ASSERT_TRUE(status) << "the window did not end";
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << describe_wait_status(*status) << "\n"
            << content_of(err);
    }
}

}  // namespace
}  // namespace velkon::test
