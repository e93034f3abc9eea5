// velkon-cli on Windows: the commands through the system's COM ports (the Win32 driver and port
// list) against the Linux simulators that scripts/test-windows maps to them: VELKON_TEST_COM
// (the default unit) and, for a fleet of two, VELKON_TEST_FLEET_COMS, two units whose IMEIs end
// in 11 and 22. File names are Cyrillic, as a user's often are, and reach the files by UTF-8.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "cli/cli_tool.h"
#include "cli/end_on_signals.h"
#include "cli/system_io.h"
#include "files/file_error.h"
#include "serial/port_discovery.h"
#include "support/test_support.h"

namespace velkon {
namespace {

using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

constexpr const char* kUnitImei = "356938035643809";
constexpr const char* kUnitSim = "89701010000000000012";
// What scripts/test-windows gives the fleet's simulators.
constexpr const char* kFleetImeis[] = {"356938035640011", "356938035640022"};

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The CLI as the program runs it, with the system's port list and driver.
struct WinCli {
    std::unique_ptr<PortLister> lister = make_system_port_lister();
    test::TempDir folder;
    std::ostringstream out, err;

    int operator()(const std::vector<std::string>& args) {
        out.str("");
        err.str("");
        cli::CliTool tool({[] { return make_serial_port(); }, *lister, out, err, 0ms});
        return tool.run(args);
    }
    // A file in the test's folder, and its name as the user types it (UTF-8).
    std::filesystem::path file(const std::string& utf8_name) const {
        return folder.path() / path_from_utf8(utf8_name);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
};

std::string read_all(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

#define REQUIRE_ENV(name, variable)                                     \
    const std::string name = env(variable);                             \
    ASSERT_FALSE(name.empty()) << variable                              \
                               << " is not set: run the tests through " \
                                  "scripts/test-windows"

TEST(CliWin32, OneUnitByItsComPortInEverySpelling) {
    REQUIRE_ENV(com, "VELKON_TEST_COM");
    WinCli cli;
    std::string lower = com;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& name : {com, lower, "\\\\.\\" + com}) {
        ASSERT_EQ(cli({"imei", name}), 0) << name << ": " << cli.err.str();
        EXPECT_EQ(cli.out.str(), std::string("IMEI ") + kUnitImei + "\nSIM " + kUnitSim + "\n");
        EXPECT_EQ(cli.err.str(), "");
    }
    ASSERT_EQ(cli({"readings", com, "--count", "2", "--json"}), 0) << cli.err.str();
    const auto lines = cli.lines();
    ASSERT_EQ(lines.size(), 2u) << cli.out.str();
    for (const std::string& line : lines) {
        const Json r = Json::parse(line);
        EXPECT_EQ(r["address"], 1);
        EXPECT_EQ(r["temperature"], 21);
        // ISO 8601 with the offset as digits: not the zone's name Windows' strftime gives.
        EXPECT_TRUE(std::regex_match(r["time"].get<std::string>(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
            << line;
    }
}

TEST(CliWin32, PortsListTheComPortsWithoutStableNames) {
    REQUIRE_ENV(com, "VELKON_TEST_COM");
    WinCli cli;
    ASSERT_EQ(cli({"ports"}), 0) << cli.err.str();
    const auto names = cli.lines();
    EXPECT_NE(std::find(names.begin(), names.end(), com), names.end()) << cli.out.str();
    ASSERT_EQ(cli({"ports", "--long"}), 0);
    EXPECT_EQ(cli.lines(), names);
    ASSERT_EQ(cli({"ports", "--json"}), 0);
    bool found = false;
    for (const Json& port : Json::parse(cli.out.str())) {
        if (port["name"] != com) continue;
        found = true;
        EXPECT_EQ(port["path"], "\\\\.\\" + com);
        EXPECT_EQ(port["by_id"], Json::array());
        EXPECT_EQ(port["console"], false);
    }
    EXPECT_TRUE(found) << cli.out.str();
}

// A name no port has (wine lists COM1 to COM65), and a device path that opens nothing (the script
// maps COM40 to nothing): status 3, and the list named.
TEST(CliWin32, APortThatIsNotThereExitsThree) {
    REQUIRE_ENV(com, "VELKON_TEST_COM");
    WinCli cli;
    EXPECT_EQ(cli({"imei", "COM99"}), 3);
    EXPECT_EQ(cli.err.str().rfind("Порт «COM99» не найден. Порты: ", 0), 0u) << cli.err.str();
    EXPECT_NE(cli.err.str().find(com), std::string::npos) << cli.err.str();
    EXPECT_EQ(cli({"imei", "\\\\.\\COM40"}), 3);
    EXPECT_NE(cli.err.str().find("COM40"), std::string::npos) << cli.err.str();
    EXPECT_EQ(cli.out.str(), "");
}

TEST(CliWin32, ProfileToACyrillicFileAndBack) {
    REQUIRE_ENV(com, "VELKON_TEST_COM");
    WinCli cli;
    const auto file = cli.file("профиль трекера.json");
    ASSERT_EQ(cli({"config", "read", com, "-o", path_text(file)}), 0) << cli.err.str();
    ASSERT_TRUE(std::filesystem::exists(file));
    const Json profile = Json::parse(read_all(file));
    EXPECT_EQ(profile["format"], "velkon-profile/1");
    // Written back unchanged: the unit reads back the same.
    ASSERT_EQ(cli({"config", "write", com, path_text(file)}), 0) << cli.err.str();
    EXPECT_EQ(cli.err.str(), "Конфигурация записана и проверена.\n");
    // A file that is not there is named as given.
    EXPECT_EQ(cli({"config", "write", com, path_text(cli.file("нет такого.json"))}), 2);
    EXPECT_NE(cli.err.str().find("нет такого.json"), std::string::npos) << cli.err.str();
}

TEST(CliWin32, AFleetOfTwoReadsAndWritesEachUnit) {
    REQUIRE_ENV(coms, "VELKON_TEST_FLEET_COMS");
    std::istringstream split(coms);
    std::string first, second;
    split >> first >> second;
    ASSERT_FALSE(second.empty()) << coms;
    WinCli cli;
    const auto report = cli.file("парк.json");
    ASSERT_EQ(cli({"fleet", "imei", first, second, "--json", "--report", path_text(report)}), 0)
        << cli.err.str();
    std::set<std::string> imeis;
    for (const std::string& line : cli.lines()) imeis.insert(Json::parse(line)["imei"]);
    EXPECT_EQ(imeis, (std::set<std::string>{kFleetImeis[0], kFleetImeis[1]}));
    EXPECT_EQ(cli.err.str(), "Трекеров: 2, выполнено: 2, с ошибкой: 0.\n");
    const Json written = Json::parse(read_all(report));
    EXPECT_EQ(written["state"], "закончен");
    ASSERT_EQ(written["units"].size(), 2u);
    EXPECT_EQ(written["units"][0]["port"], first);
    EXPECT_EQ(written["units"][1]["port"], second);

    // Each unit gets its own device_id from its IMEI; the report is a spreadsheet's CSV.
    const auto profile = cli.file("профиль.json");
    ASSERT_EQ(cli({"config", "read", first, "-o", path_text(profile)}), 0) << cli.err.str();
    const auto table = cli.file("парк.csv");
    ASSERT_EQ(cli({"fleet", "write", path_text(profile), first, second, "--set", "period=120",
                   "--set", "device_id={imei:10}", "--report", path_text(table)}),
              0)
        << cli.err.str();
    EXPECT_EQ(cli.lines().size(), 2u) << cli.out.str();
    EXPECT_TRUE(
        read_all(table).starts_with("\xEF\xBB\xBF"
                                    "Порт;IMEI;SIM;"));
    for (std::size_t i = 0; i < 2; ++i) {
        const std::string& port = i == 0 ? first : second;
        ASSERT_EQ(cli({"config", "read", port}), 0) << cli.err.str();
        const Json unit = Json::parse(cli.out.str());
        EXPECT_EQ(unit["period"], 120) << port;
        EXPECT_EQ(unit["device_id"], std::string(kFleetImeis[i]).substr(5)) << port;
    }
}

TEST(CliWin32, OnePortUnderTwoNamesIsRefusedBeforeAnyIsOpened) {
    REQUIRE_ENV(com, "VELKON_TEST_COM");
    WinCli cli;
    EXPECT_EQ(cli({"fleet", "imei", com, "\\\\.\\" + com}), 2);
    EXPECT_EQ(
        cli.err.str().rfind("Порты «" + com + "» и «\\\\.\\" + com + "» — одно устройство.", 0), 0u)
        << cli.err.str();
    EXPECT_EQ(cli.out.str(), "");
}

// No libxlsxwriter is built for Windows: an Excel report is refused before any port is opened.
TEST(CliWin32, AnExcelReportIsRefusedWithWhatThisBuildWrites) {
    REQUIRE_ENV(com, "VELKON_TEST_COM");
    WinCli cli;
    const auto report = cli.file("парк.xlsx");
    EXPECT_EQ(cli({"fleet", "imei", com, "--report", path_text(report)}), 2);
    EXPECT_EQ(cli.err.str(),
              "Эта сборка пишет отчёт только в файл .csv или .json: книгу Excel (.xlsx) пишет "
              "velkon-cli для Linux.\nСправка: velkon-cli --help\n");
    EXPECT_FALSE(std::filesystem::exists(report));
    EXPECT_EQ(cli({"fleet", "imei", com, "--report", "парк.txt"}), 2);
    EXPECT_EQ(cli.err.str().rfind("Отчёт пишется в файл .csv или .json, а не «парк.txt».", 0), 0u)
        << cli.err.str();
}

// No port: the calibration report from a saved table, the font found through GDI, both files
// under Cyrillic names.
TEST(CliWin32, TankReportWritesAPdfWithTheSystemsFont) {
    WinCli cli;
    const auto table = cli.file("бак №1.csv");
    std::ofstream(table, std::ios::binary) << "0;3\n20;210\n40;400\n";
    const auto pdf = cli.file("бак №1.pdf");
    ASSERT_EQ(cli({"tank", "report", path_text(table), "-o", path_text(pdf)}), 0) << cli.err.str();
    const std::string bytes = read_all(pdf);
    EXPECT_TRUE(bytes.starts_with("%PDF-")) << bytes.substr(0, 16);
    EXPECT_NE(bytes.find("/FontFile2"), std::string::npos);
}

TEST(CliWin32, HelpNamesComPortsAndTheConsoleEvents) {
    WinCli cli;
    ASSERT_EQ(cli({"--help"}), 0);
    const std::string help = cli.out.str();
    for (const char* words : {"velkon-cli imei COM3", "\\\\.\\COM12", "только в Linux",
                              "Ctrl+C или Ctrl+Break", "закрыто окно консоли"}) {
        EXPECT_NE(help.find(words), std::string::npos) << words;
    }
    EXPECT_EQ(help.find("ttyUSB"), std::string::npos);
    EXPECT_EQ(help.find("парк.xlsx"), std::string::npos);
    // Every command has its Windows example.
    const std::string examples = help.substr(help.find("Примеры:"));
    for (const cli::CommandRow& row : cli::command_table()) {
        EXPECT_NE(examples.find("  velkon-cli " + std::string(row.words) + " "), std::string::npos)
            << row.words;
    }
}

// The wide command line as UTF-8: Cyrillic, a character beyond the first plane (a surrogate
// pair), and a surrogate without its pair.
TEST(CliWin32, WideArgumentsBecomeUtf8) {
    struct Case {
        std::wstring wide;
        std::string utf8;
    };
    const Case cases[] = {
        {L"COM3", "COM3"},
        {L"\x043F\x0430\x0440\x043A.csv", "парк.csv"},
        {L"\xD83D\xDE80", "\xF0\x9F\x9A\x80"},
        {L"a\xD83D"
         L"b",
         "a\xEF\xBF\xBD"
         "b"},
        {L"\xDE80", "\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) EXPECT_EQ(cli::utf8_from_wide(c.wide), c.utf8) << c.utf8;
}

// Ctrl+C and Ctrl+Break end the program as SIGINT does (130); a closed console, a logoff and a
// shutdown as SIGHUP (129); any other event is not ours to handle.
TEST(CliWin32, ConsoleEventsStandForTheSignals) {
    const std::pair<DWORD, int> cases[] = {
        {CTRL_C_EVENT, cli::kSignalInterrupt},     {CTRL_BREAK_EVENT, cli::kSignalInterrupt},
        {CTRL_CLOSE_EVENT, cli::kSignalHangUp},    {CTRL_LOGOFF_EVENT, cli::kSignalHangUp},
        {CTRL_SHUTDOWN_EVENT, cli::kSignalHangUp}, {4, 0},
    };
    for (const auto& [event, signal] : cases) {
        EXPECT_EQ(cli::signal_of_console_event(event), signal) << event;
    }
}

}  // namespace
}  // namespace velkon
