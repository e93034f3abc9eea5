// velkon-cli against the simulated unit on a pseudo-terminal: what each command prints, the frame
// a profile write sends, and every exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "cli/cli_tool.h"
#include "profile/profile.h"
#include "sim/pty_server.h"
#include "support/form_fixture.h"
#include "support/pdf_support.h"
#include "tracker/answers.h"
#include "tracker/tracker.h"

namespace velkon {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::ordered_json;
using tracker_test::file_content;

struct CliRig {
    std::mutex mutex;
    std::vector<std::string> requests;  // hexadecimal, as the simulator logged them
    sim::PtyServer server{sim::Device{}, sim::ServerOptions{.log = [this](const std::string& line) {
                              std::lock_guard lock(mutex);
                              if (line.rfind("<- ", 0) == 0) requests.push_back(line.substr(3));
                          }}};
    testing::FakeLister lister;
    test::TempDir folder;
    std::ostringstream out, err;
    decltype(cli::CliSeams::make_port) make_port = [] { return make_serial_port(); };

    CliRig() {
        if (!server.start()) ADD_FAILURE() << server.error();
        lister.entries = {{"ttyUSB0", "/dev/velkon-test-none"}, {"sim", server.slave_path()}};
    }
    int run(std::vector<std::string> args) {
        out.str("");
        err.str("");
        cli::CliTool tool({make_port, lister, out, err, 0ms});
        return tool.run(args);
    }
    const std::string& port() const { return server.slave_path(); }
    std::vector<std::string> sent() {
        std::lock_guard lock(mutex);
        return requests;
    }
};

TEST(Cli, ConfigReadThenWriteSendsTheFrameSetWouldSend) {
    CliRig rig;
    const auto file = rig.folder.path() / "a.json";
    ASSERT_EQ(rig.run({"config", "read", rig.port(), "-o", file.string()}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "");
    Json json = Json::parse(*file_content(file));
    EXPECT_EQ(json["apn"], "internet");
    EXPECT_EQ(json["period"], 60);
    EXPECT_EQ(json["firmware_version"], 43);
    EXPECT_EQ(json["serial_number"], 100500);

    json["apn"] = "m2m.пример";
    json["access_password"] = "ключ";
    json["period"] = 300;
    json["channels"][6] = {{"enabled", true}, {"address", 200}};
    std::ofstream(file) << json.dump(2);
    ASSERT_EQ(rig.run({"config", "write", rig.port(), file.string()}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "");
    EXPECT_EQ(rig.err.str(), "Конфигурация записана и проверена.\n");

    // «Установить» with the same values in the window builds the same frame.
    testing::FormFixture window;
    testing::take_fields_as_read(window.app);
    window.app.tracker().show_record(*load_profile_file(file).config);
    window.app.fire(ctl::setdata);
    const std::string expected = sim::spaced_hex(window.model.vars.wrs);
    const auto sent = rig.sent();
    ASSERT_EQ(sent.size(), 3u);  // read; write; read back
    EXPECT_EQ(sent[1], expected);
    const auto unit = rig.server.with_device([](sim::Device& d) { return d.tracker().config; });
    EXPECT_EQ(unit.apn, "m2m.\xEF\xF0\xE8\xEC\xE5\xF0");
    EXPECT_EQ(unit.period, 300);
    EXPECT_EQ(unit.channel_flags[6], 1);
    EXPECT_EQ(unit.channel_addresses[6], 200);
}

TEST(Cli, DataGoesToTheStandardOutput) {
    CliRig rig;
    ASSERT_EQ(rig.run({"config", "read", "sim"}), 0) << rig.err.str();  // a name from the list
    EXPECT_EQ(Json::parse(rig.out.str())["format"], "velkon-profile/1");
    EXPECT_EQ(rig.err.str(), "");

    ASSERT_EQ(rig.run({"readings", rig.port(), "--count=2", "--json"}), 0) << rig.err.str();
    std::istringstream lines(rig.out.str());
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        const Json r = Json::parse(line);
        EXPECT_EQ(r["address"], 1);
        EXPECT_EQ(r["temperature"], 21);
        EXPECT_EQ(r["full"], 100000);
        EXPECT_EQ(r["empty"], 10000);
        EXPECT_GT(r["current"], 0);
        EXPECT_TRUE(r.contains("level"));
        ++count;
    }
    EXPECT_EQ(count, 2);

    ASSERT_EQ(rig.run({"readings", rig.port(), "--count", "1"}), 0);
    EXPECT_EQ(rig.out.str().rfind("Уровень ", 0), 0u) << rig.out.str();
    EXPECT_NE(rig.out.str().find("; Температура 21 °C;"), std::string::npos);

    ASSERT_EQ(rig.run({"imei", rig.port(), "--json"}), 0);
    EXPECT_EQ(rig.out.str(), "{\"imei\":\"356938035643809\",\"sim\":\"89701010000000000012\"}\n");
    ASSERT_EQ(rig.run({"imei", rig.port()}), 0);
    EXPECT_EQ(rig.out.str(), "IMEI 356938035643809\nSIM 89701010000000000012\n");

    ASSERT_EQ(rig.run({"ports"}), 0);
    EXPECT_EQ(rig.out.str(), "ttyUSB0\nsim\n");
}

// A list over a made-up /dev and /dev/serial, as the system's list finds the links.
struct LinkedLister final : PortLister {
    std::vector<PortEntry> entries;
    std::filesystem::path serial_root;
    std::vector<PortEntry> list() override { return entries; }
    void add_stable_names(std::vector<PortEntry>& ports) override {
        find_stable_names(ports, serial_root);
    }
};

// The stable names come after the name, so the first column (and "$(velkon-cli ports)" without
// --long) is the names alone.
TEST(Cli, PortsShowTheStableNamesWhenAsked) {
    test::TempDir dir;
    LinkedLister lister;
    for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyS0"})
        dir.write_file("dev/" + std::string(name), "");
    const std::string dev = (dir.path() / "dev").string();
    const std::string by_id =
        (dir.path() / "serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0").string();
    const std::string by_path =
        (dir.path() / "serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0").string();
    const std::string console_path =
        (dir.path() / "serial/by-path/platform-serial8250-port0").string();
    dir.make_dir("serial/by-id");
    dir.make_dir("serial/by-path");
    std::filesystem::create_symlink("../../dev/ttyUSB0", by_id);
    std::filesystem::create_symlink("../../dev/ttyUSB0", by_path);
    std::filesystem::create_symlink("../../dev/ttyS0", console_path);
    lister.entries = {{"ttyUSB0", dev + "/ttyUSB0"},
                      {"ttyUSB1", dev + "/ttyUSB1"},
                      {"ttyS0", dev + "/ttyS0", true}};
    lister.serial_root = dir.path() / "serial";
    std::ostringstream out, err;
    auto run = [&](std::vector<std::string> args) {
        out.str("");
        err.str("");
        cli::CliTool tool({[] { return make_serial_port(); }, lister, out, err});
        return tool.run(args);
    };

    const struct {
        std::vector<std::string> args;
        std::string out;
    } cases[] = {
        {{"ports"}, "ttyUSB0\nttyUSB1\n"},
        {{"ports", "-l"}, "ttyUSB0\t" + by_id + "\t" + by_path + "\nttyUSB1\n"},
        {{"ports", "--long", "--all"},
         "ttyUSB0\t" + by_id + "\t" + by_path + "\nttyUSB1\nttyS0\tконсоль\t" + console_path +
             "\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.args), 0) << c.args.back();
        EXPECT_EQ(out.str(), c.out) << c.args.back();
    }

    ASSERT_EQ(run({"ports", "--json"}), 0);
    EXPECT_EQ(Json::parse(out.str()),
              Json::parse(R"([{"name": "ttyUSB0", "path": ")" + dev + R"(/ttyUSB0", "by_id": [")" +
                          by_id + R"("], "by_path": [")" + by_path +
                          R"("], "console": false}, {"name": "ttyUSB1", "path": ")" + dev +
                          R"(/ttyUSB1", "by_id": [], "by_path": [], "console": false}])"));
    const std::string json_text = out.str();
    EXPECT_EQ(std::count(json_text.begin(), json_text.end(), '\n'), 1);  // one line
    EXPECT_NE(err.str().find("Порт ttyS0 — консоль системы, не показан"), std::string::npos);
    ASSERT_EQ(run({"ports", "--json", "--all"}), 0);
    const Json all = Json::parse(out.str());
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[2]["console"], true);
    EXPECT_EQ(all[2]["by_path"], Json::array({console_path}));

    lister.entries.clear();
    ASSERT_EQ(run({"ports", "--json"}), 0);
    EXPECT_EQ(out.str(), "[]\n");
    EXPECT_EQ(err.str(), "Последовательные порты не найдены.\n");
}

// A link to the port is the port; named next to another name of it in one run, it is refused
// before anything is opened.
TEST(CliFleet, OneDeviceUnderTwoNamesIsOnePort) {
    CliRig rig;
    const std::string link = (rig.folder.path() / "usb-FTDI_FT232R_A50285BI-if00-port0").string();
    std::filesystem::create_symlink(rig.port(), link);
    ASSERT_EQ(rig.run({"imei", link}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "IMEI 356938035643809\nSIM 89701010000000000012\n");
    const std::size_t sent_before = rig.sent().size();

    const std::string dotted = "/dev/.." + rig.port();
    const struct {
        std::vector<std::string> args;
        std::string first, second;
    } cases[] = {
        {{"fleet", "imei", rig.port(), dotted}, rig.port(), dotted},
        {{"fleet", "read", link, "ttyUSB0", rig.port()}, link, rig.port()},
        {{"fleet", "imei", "sim", link}, "sim", link},  // a list name and a link
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rig.run(c.args), 2) << c.second;
        EXPECT_EQ(rig.err.str().rfind(
                      "Порты «" + c.first + "» и «" + c.second + "» — одно устройство.\n", 0),
                  0u)
            << rig.err.str();
        EXPECT_EQ(rig.out.str(), "");
    }
    EXPECT_EQ(rig.sent().size(), sent_before);
}

// Behind an adapter that echoes every request, every command reads the answer after the echo:
// the same values, and a write acknowledged and read back.
TEST(Cli, AnEchoingAdapterChangesNoResult) {
    CliRig rig;
    rig.server.set_faults({.echo = true});
    const auto file = rig.folder.path() / "a.json";
    ASSERT_EQ(rig.run({"config", "read", rig.port(), "-o", file.string()}), 0) << rig.err.str();
    Json json = Json::parse(*file_content(file));
    EXPECT_EQ(json["apn"], "internet");
    EXPECT_EQ(json["server"], "203.0.113.10");
    EXPECT_EQ(json["period"], 60);
    EXPECT_EQ(json["serial_number"], 100500);

    json["device_id"] = "0000054321";
    std::ofstream(file) << json.dump(2);
    ASSERT_EQ(rig.run({"config", "write", rig.port(), file.string()}), 0) << rig.err.str();
    EXPECT_EQ(rig.server.with_device([](sim::Device& d) { return d.tracker().config.device_id; }),
              "0000054321");

    ASSERT_EQ(rig.run({"imei", rig.port()}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "IMEI 356938035643809\nSIM 89701010000000000012\n");
    ASSERT_EQ(rig.run({"readings", rig.port(), "--json", "--count", "1"}), 0) << rig.err.str();
    const Json readings = Json::parse(rig.out.str());
    EXPECT_EQ(readings["address"], 1);
    EXPECT_EQ(readings["full"], 100000);
    EXPECT_EQ(readings["empty"], 10000);
}

struct DeviceFailure {
    const char* name;
    sim::Faults faults;
    std::string said;
    std::uint64_t requests;  // what the tool asked before giving up
};

void PrintTo(const DeviceFailure& d, std::ostream* os) {
    *os << d.name;
}

class CliDeviceFailure : public ::testing::TestWithParam<DeviceFailure> {};

TEST_P(CliDeviceFailure, ExitsOneAfterAskingThreeTimes) {
    CliRig rig;
    rig.server.set_faults(GetParam().faults);
    EXPECT_EQ(rig.run({"imei", rig.port()}), 1);
    EXPECT_NE(rig.err.str().find(GetParam().said), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "");
    EXPECT_EQ(rig.sent().size(), GetParam().requests);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CliDeviceFailure,
    ::testing::Values(DeviceFailure{"silent", {.silent = true}, "не отвечает", 3},
                      DeviceFailure{"wrong_check", {.wrong_check = true}, "повреждён", 3},
                      DeviceFailure{"modem_text", {.modem_text = true}, "повреждён", 3},
                      DeviceFailure{"unknown_code", {.unknown_code = true}, "код ответа 99", 3},
                      DeviceFailure{"echo_alone", {.silent = true, .echo = true}, "не отвечает", 3},
                      DeviceFailure{"garbage_speed", {.garbage_speed = true}, "повреждён", 3}),
    [](const auto& info) { return std::string(info.param.name); });

struct AdapterFault {
    const char* name;
    sim::Faults faults;
};

void PrintTo(const AdapterFault& a, std::ostream* os) {
    *os << a.name;
}

class CliBehindAdapter : public ::testing::TestWithParam<AdapterFault> {};

// Requests handed back in front of the answers change nothing the tool prints or saves.
TEST_P(CliBehindAdapter, ReadsTheUnitsOwnAnswers) {
    CliRig rig;
    rig.server.set_faults(GetParam().faults);
    ASSERT_EQ(rig.run({"imei", rig.port()}), 0) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "IMEI 356938035643809\nSIM 89701010000000000012\n");
    const auto file = rig.folder.path() / "unit.json";
    ASSERT_EQ(rig.run({"config", "read", rig.port(), "-o", file.string()}), 0) << rig.err.str();
    const Json json = Json::parse(*file_content(file));
    EXPECT_EQ(json["apn"], "internet");
    EXPECT_EQ(json["period"], 60);
    ASSERT_EQ(rig.run({"live", rig.port(), "--json", "--count", "1"}), 0) << rig.err.str();
    EXPECT_EQ(Json::parse(rig.out.str())["satellites"], 9);
}

INSTANTIATE_TEST_SUITE_P(Adapters, CliBehindAdapter,
                         ::testing::Values(AdapterFault{"EchoTwice", {.echo_twice = true}},
                                           AdapterFault{"PreviousRequest",
                                                        {.echo = true, .echo_previous = true}},
                                           AdapterFault{"PartialEcho", {.partial_echo = 3}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, ASilentDeviceIsAnsweredOnTheSecondAsk) {
    CliRig rig;
    rig.server.set_faults({.silent_every = 2});  // the second request of the tool is lost
    ASSERT_EQ(rig.run({"readings", rig.port(), "--count", "2"}), 0) << rig.err.str();
    EXPECT_EQ(rig.sent().size(), 3u);
}

// Six digits would go out and the unit would show five: refused before anything is sent.
TEST(Cli, APortTheUnitWouldCutIsRefusedBeforeTheWrite) {
    CliRig rig;
    const auto file = rig.folder.path() / "a.json";
    ASSERT_EQ(rig.run({"config", "read", rig.port(), "-o", file.string()}), 0);
    Json json = Json::parse(*file_content(file));
    json["server_port"] = "123456";
    std::ofstream(file) << json.dump();
    const std::size_t sent_before = rig.sent().size();
    EXPECT_EQ(rig.run({"config", "write", rig.port(), file.string()}), 2);
    EXPECT_NE(rig.err.str().find("«server_port»"), std::string::npos) << rig.err.str();
    EXPECT_NE(rig.err.str().find("не больше 5 цифр"), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.sent().size(), sent_before);
}

// The driver with a step of the test before every open, write and read, on the tool's own
// thread: the adapter goes and comes back at a set point of the log, whatever the machine's pace.
class SteppedPort final : public SerialPort {
  public:
    struct Steps {
        std::function<void(const std::string& path, const LineSettings& line)> open;
        std::function<void()> write, read;
    };
    SteppedPort(std::unique_ptr<SerialPort> port, Steps steps)
        : port_(std::move(port)), steps_(std::move(steps)) {}

    bool OpenPort(const std::string& path, const LineSettings& line) override {
        steps_.open(path, line);
        return port_->OpenPort(path, line);
    }
    void ClosePort() override { port_->ClosePort(); }
    void FlushPort() override { port_->FlushPort(); }
    std::string ReadPort() override {
        steps_.read();
        return port_->ReadPort();
    }
    int WritePort(const std::string& data) override {
        steps_.write();
        return port_->WritePort(data);
    }
    std::size_t DiscardInputBeyond(std::size_t keep) override {
        return port_->DiscardInputBeyond(keep);
    }
    bool is_open() const override { return port_->is_open(); }
    bool hung_up() const override { return port_->hung_up(); }
    const OpenError& last_open_error() const override { return port_->last_open_error(); }

  private:
    std::unique_ptr<SerialPort> port_;
    Steps steps_;
};

enum class Unplug {
    BetweenPolls,  // the next request cannot be written
    WhileAsking,   // the line hangs up under the wait for an answer
};

struct Replug {
    const char* name;
    Unplug unplug;
    std::vector<std::string> args;  // "PORT" stands for the port's name
    // One pattern a line; "T" stands for a time stamp.
    std::vector<std::string> out, err;
    std::uint64_t requests;  // what reached the unit, before the unplug and after
};

void PrintTo(const Replug& r, std::ostream* os) {
    *os << r.name;
}

class CliReplug : public ::testing::TestWithParam<Replug> {};

// A log over an unplugged adapter: the line goes at the third request; the next open finds
// nothing at the path; the one after finds a new line there (another pseudo-terminal behind the
// same name, as a replugged adapter gets) and the log goes on with data.
TEST_P(CliReplug, ALogGoesOnWhenThePortComesBack) {
    CliRig rig;
    const auto path = rig.folder.path() / "ttyUSB0";
    std::filesystem::create_symlink(rig.port(), path);
    rig.lister.entries = {{"ttyUSB0", path.string()}};
    // stop() joins the server's thread: the line is closed when it returns.
    const auto pull_out = [&] {
        rig.server.stop();
        std::filesystem::remove(path);
    };
    std::vector<std::pair<std::string, LineSettings>> opens;
    int writes = 0;
    bool pull_out_on_read = false;
    const SteppedPort::Steps steps{
        .open =
            [&](const std::string& p, const LineSettings& line) {
                opens.emplace_back(p, line);
                if (opens.size() != 3) return;
                rig.server.set_faults({});
                ASSERT_TRUE(rig.server.start()) << rig.server.error();
                std::filesystem::create_symlink(rig.port(), path);
            },
        .write =
            [&] {
                if (++writes != 3) return;
                if (GetParam().unplug == Unplug::BetweenPolls) {
                    pull_out();
                } else {
                    rig.server.set_faults({.silent = true});
                    pull_out_on_read = true;
                }
            },
        .read =
            [&] {
                if (!pull_out_on_read) return;
                pull_out_on_read = false;
                EXPECT_TRUE(rig.server.wait_requests(3, 10s));  // the request is in, unanswered
                pull_out();
            },
    };
    rig.make_port = [&] { return std::make_unique<SteppedPort>(make_serial_port(), steps); };
    std::vector<std::string> args = GetParam().args;
    for (auto& a : args) {
        if (a == "PORT") a = "ttyUSB0";
    }
    EXPECT_EQ(rig.run(args), 1) << rig.err.str();

    const auto expect_lines = [](const std::string& text, const std::vector<std::string>& wanted) {
        static const std::string kTime = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)";
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string l; std::getline(in, l);) lines.push_back(l);
        ASSERT_EQ(lines.size(), wanted.size()) << text;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string pattern = std::regex_replace(wanted[i], std::regex("T"), kTime);
            EXPECT_TRUE(std::regex_match(lines[i], std::regex(pattern)))
                << "line " << i + 1 << ": " << lines[i] << "\nwanted: " << wanted[i];
        }
    };
    expect_lines(rig.out.str(), GetParam().out);
    expect_lines(rig.err.str(), GetParam().err);
    // The port that came back was opened as the first one: the same path and line settings.
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[0], std::make_pair(path.string(), kDeviceLine));
    EXPECT_EQ(opens[2], opens[0]);
    EXPECT_EQ(rig.sent().size(), GetParam().requests);
}

// The patterns are regular expressions: "." and "{" in the texts are escaped.
const std::string kGone = R"(Нет данных: Порт «ttyUSB0» отключён\.)";
const std::string kAbsent = R"(Нет данных: Порт «ttyUSB0» недоступен\. Устройство не найдено\.)";
const std::string kBack = R"(T Порт «ttyUSB0» снова открыт\.)";
const std::string kReading = "Уровень .*; Сетевой адрес 1";
const std::string kJsonReading = R"(\{"time":"T","level":.*,"address":1\})";
const std::string kLiveRow = "T;[^;]+;.*;";  // the satellites first, no message last

INSTANTIATE_TEST_SUITE_P(
    Formats, CliReplug,
    ::testing::Values(
        Replug{"text_unplugged_while_asking",
               Unplug::WhileAsking,
               {"readings", "PORT", "--count", "6"},
               {kReading, kReading, "T " + kGone, "T " + kAbsent, kBack, kReading, kReading},
               {},
               5},
        Replug{"json_unplugged_between_polls",
               Unplug::BetweenPolls,
               {"readings", "PORT", "--count", "6", "--json"},
               {kJsonReading, kJsonReading, R"(\{"time":"T","gap":")" + kGone + R"("\})",
                R"(\{"time":"T","gap":")" + kAbsent + R"("\})", kJsonReading, kJsonReading},
               {kBack},
               4},
        Replug{"live_csv_unplugged_while_asking",
               Unplug::WhileAsking,
               {"live", "PORT", "--count", "6", "--csv"},
               {"time;satellites;.*;channel8;message", kLiveRow, kLiveRow, "T;{21}" + kGone,
                "T;{21}" + kAbsent, kLiveRow, kLiveRow},
               {kBack},
               5}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadUse {
    const char* name;
    std::vector<std::string> args;  // "PORT" stands for the simulator's port
    std::string said;
};

void PrintTo(const BadUse& b, std::ostream* os) {
    *os << b.name;
}

class CliBadUse : public ::testing::TestWithParam<BadUse> {};

TEST_P(CliBadUse, ExitsTwoSendingNothing) {
    CliRig rig;
    const auto bad_profile = rig.folder.path() / "bad.json";
    std::ofstream(bad_profile) << "{\"format\": \"velkon-profile/1\", \"apn\": 5}";
    const auto good_profile = rig.folder.path() / "good.json";
    std::ofstream(good_profile) << profile_text(decode_config_answer(*rig.server.with_device(
        [](sim::Device& d) { return d.respond(std::string(configuration_read_request())); })));
    std::vector<std::string> args = GetParam().args;
    for (auto& a : args) {
        if (a == "PORT") a = rig.port();
        if (a == "BAD") a = bad_profile.string();
        if (a == "GOOD") a = good_profile.string();
    }
    EXPECT_EQ(rig.run(args), 2);
    EXPECT_NE(rig.err.str().find(GetParam().said), std::string::npos) << rig.err.str();
    EXPECT_EQ(rig.out.str(), "");
    EXPECT_TRUE(rig.sent().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliBadUse,
    ::testing::Values(
        BadUse{"nothing", {}, "Использование"},
        BadUse{"unknown_command", {"flash", "PORT"}, "Неизвестная команда «flash»"},
        BadUse{"unknown_option", {"imei", "PORT", "--xml"}, "Неизвестный параметр «--xml»"},
        BadUse{"no_port", {"readings"}, "не хватает аргументов: ПОРТ"},
        BadUse{"extra", {"imei", "PORT", "more"}, "Лишний аргумент «more»"},
        BadUse{"count_zero", {"readings", "PORT", "--count", "0"}, "от 1 до 100000"},
        BadUse{"count_missing", {"readings", "PORT", "--count"}, "нужно число"},
        BadUse{"json_on_config", {"config", "read", "PORT", "--json"}, "не знает --json"},
        BadUse{"config_what", {"config", "erase", "PORT"}, "read или write"},
        BadUse{"bad_profile", {"config", "write", "PORT", "BAD"}, "«apn»: ожидается текст"},
        BadUse{"missing_profile",
               {"config", "write", "PORT", "/nonexistent/a.json"},
               "«/nonexistent/a.json»: файл не найден"},
        BadUse{"set_unknown_key",
               {"config", "write", "PORT", "GOOD", "--set", "colour=red"},
               "Неизвестный ключ «colour» в --set."},
        BadUse{"set_channel_out_of_range",
               {"config", "write", "PORT", "GOOD", "--set", "channels[8].address=7"},
               "каналы нумеруются от 0 до 7"},
        BadUse{"set_value_refused",
               {"config", "write", "PORT", "GOOD", "--set", "channels[3].address=201"},
               "от 0 до 200"},
        BadUse{"set_not_a_number",
               {"config", "write", "PORT", "GOOD", "--set", "period=often"},
               "ожидается целое число, а не «often»"},
        BadUse{"unknown_placeholder",
               {"config", "write", "PORT", "GOOD", "--set", "device_id={imsi}"},
               "неизвестная подстановка «{imsi}»"},
        BadUse{
            "report_kind", {"fleet", "imei", "PORT", "--report", "r.txt"}, ".csv, .json или .xlsx"},
        BadUse{"same_port_twice", {"fleet", "imei", "PORT", "PORT"}, "назван дважды"},
        BadUse{
            "fleet_without_ports", {"fleet", "write", "GOOD"}, "не хватает аргументов: ФАЙЛ ПОРТ…"},
        BadUse{"only_failed_and_ports",
               {"fleet", "imei", "PORT", "--only-failed", "/nonexistent/r.json"},
               "назван лишний порт"},
        BadUse{"only_failed_spreadsheet",
               {"fleet", "write", "GOOD", "--only-failed", "r.xlsx"},
               "дайте отчёт той же работы в .json или .csv"},
        BadUse{"only_failed_missing",
               {"fleet", "read", "--only-failed", "/nonexistent/r.csv"},
               "Не удалось прочитать отчёт «/nonexistent/r.csv»"},
        BadUse{"values_missing",
               {"fleet", "write", "GOOD", "PORT", "--values", "/nonexistent/v.csv"},
               "Не удалось прочитать таблицу значений «/nonexistent/v.csv»"},
        BadUse{"values_optional_alone",
               {"fleet", "write", "GOOD", "PORT", "--values-optional"},
               "только вместе с --values"},
        BadUse{"unique_unknown_key",
               {"fleet", "write", "GOOD", "PORT", "--unique", "colour"},
               "Неизвестный ключ «colour» в --unique."},
        BadUse{"dry_run_on_config_write",
               {"config", "write", "PORT", "GOOD", "--dry-run"},
               "не знает --dry-run"},
        BadUse{"timeout_too_short", {"imei", "PORT", "--timeout", "10"}, "от 250 до 60000"},
        BadUse{"interval_bad", {"live", "PORT", "--interval", "0"}, "от 0,1 до 86400"},
        BadUse{"json_and_csv", {"readings", "PORT", "--json", "--csv"}, "--json или --csv"}),
    [](const auto& info) { return std::string(info.param.name); });

// A port that is not there, or taken by another program: status 3, so a script may retry.
TEST(Cli, APortThatCannotBeOpenedExitsThree) {
    CliRig rig;
    const struct {
        std::vector<std::string> args;
        std::string said;
    } cases[] = {
        {{"imei", "/dev/velkon-test-none"},
         "Порт «/dev/velkon-test-none» недоступен. Устройство не найдено."},
        {{"imei", "ttyUSB0"}, "Устройство не найдено."},
        {{"imei", "ttyUSB7"}, "Порт «ttyUSB7» не найден. Порты: ttyUSB0, sim."},
        {{"config", "read", "PORT"}, "занят"},
    };
    auto holder = make_serial_port();  // another program holding the simulator's port
    ASSERT_TRUE(holder->OpenPort(rig.port(), kDeviceLine));
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        for (auto& a : args) {
            if (a == "PORT") a = rig.port();
        }
        EXPECT_EQ(rig.run(args), 3) << args[1];
        EXPECT_NE(rig.err.str().find(c.said), std::string::npos) << rig.err.str();
    }
    EXPECT_TRUE(rig.sent().empty());
}

TEST(Cli, HelpIsRussianOnTheStandardOutput) {
    CliRig rig;
    EXPECT_EQ(rig.run({"--help"}), 0);
    EXPECT_NE(rig.out.str().find("Коды завершения"), std::string::npos);
    EXPECT_EQ(rig.err.str(), "");
}

// Every command of the table is in the help's synopsis and has an example there, in the manual
// page and in the README (whose examples scripts/check-docs runs).
TEST(Cli, EveryCommandIsDocumentedWithAnExample) {
    const std::string help = cli::help_text();
    const auto man =
        file_content(std::filesystem::path(VELKON_SOURCE_DIR) / "docs/man/velkon-cli.1");
    const auto readme = file_content(std::filesystem::path(VELKON_SOURCE_DIR) / "README.md");
    ASSERT_TRUE(man && readme);
    for (const cli::CommandRow& row : cli::command_table()) {
        const std::string example = "velkon-cli " + std::string(row.words) + " ";
        EXPECT_NE(help.find("  " + example), std::string::npos) << row.words;
        EXPECT_NE(help.find("Примеры:\n"), std::string::npos);
        EXPECT_NE(help.substr(help.find("Примеры:")).find(example), std::string::npos) << row.words;
        EXPECT_NE(man->find(example), std::string::npos) << row.words;
        EXPECT_NE(readme->find("$ velkon-cli " + std::string(row.words)), std::string::npos)
            << row.words;
    }
}

TEST(Cli, VersionOnTheStandardOutput) {
    CliRig rig;
    EXPECT_EQ(rig.run({"--version"}), 0);
    EXPECT_EQ(rig.out.str().rfind("velkon-cli ", 0), 0u) << rig.out.str();
    EXPECT_EQ(rig.err.str(), "");
}

// The built program: exit status and the split between data and messages.
TEST(CliProgram, ExitStatusAndStreams) {
    // The tool is built next to the simulator, which VELKON_SIM names.
    const char* sim_path = std::getenv("VELKON_SIM");
    ASSERT_NE(sim_path, nullptr) << "VELKON_SIM names the built velkon-sim";
    const std::string cli = (std::filesystem::path(sim_path).parent_path() / "velkon-cli").string();
    ASSERT_TRUE(std::filesystem::exists(cli)) << cli;
    CliRig rig;
    const auto out = rig.folder.path() / "out", err = rig.folder.path() / "err";
    auto run = [&](const std::string& args) {
        const std::string command =
            "'" + cli + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("config read '" + rig.port() + "'"), 0);
    EXPECT_EQ(Json::parse(*file_content(out))["format"], "velkon-profile/1");
    EXPECT_EQ(file_content(err), "");

    EXPECT_EQ(run("config write '" + rig.port() + "' /nonexistent.json"), 2);
    EXPECT_EQ(file_content(out), "");
    EXPECT_NE(file_content(err)->find("Не удалось прочитать файл"), std::string::npos);

    rig.server.set_faults({.silent = true});
    EXPECT_EQ(run("imei '" + rig.port() + "'"), 1);
    EXPECT_NE(file_content(err)->find("Устройство не отвечает"), std::string::npos);
}

}  // namespace
}  // namespace velkon

namespace velkon {
namespace {

// `tank report` from a saved table: the CSV written by the calibration's own writer, the PDF by
// the report's, of the loaded session; every fault worded, with its status.
TEST(Cli, TankReportWritesWhatWasAskedOrSaysWhyNot) {
    CliRig rig;
    const auto table = rig.folder.path() / "bak.csv";
    ASSERT_TRUE(std::ofstream(table) << "Объём, л;Уровень\n0;3\n20;210\n40;400\n");
    const std::string t = table.string(), dir = rig.folder.path().string();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string said;  // in the error output
    } cases[] = {
        {{"tank", "report", t, "-o", dir + "/r.csv"}, 0, ""},
        {{"tank", "report", t, "-o", dir + "/r.PDF"}, 0, ""},
        {{"tank", "report", t}, 2, "Укажите файл отчёта"},
        {{"tank", "report", t, "-o", dir + "/r.txt"}, 2, "в файл .pdf или .csv"},
        {{"tank", "report", dir + "/none.csv", "-o", dir + "/n.csv"}, 2, "none.csv"},
        {{"tank", "report", t, "-o", t + "/r.csv"}, 1, "r.csv"},
        {{"tank", "report", t, "-o", t + "/r.pdf"}, 1, "r.pdf"},
        {{"tank", "report", t, "--json", "-o", dir + "/r.csv"}, 2, "--json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        EXPECT_EQ(rig.run(c.args), c.status) << rig.err.str();
        EXPECT_NE(rig.err.str().find(c.said), std::string::npos) << rig.err.str();
        if (c.status == 0) {
            EXPECT_EQ(rig.err.str(), "");
        }
    }
    const auto pdf = file_content(rig.folder.path() / "r.PDF");
    ASSERT_TRUE(pdf);
    const test::ReadPdf read = test::read_pdf(*pdf);
    ASSERT_EQ(read.error, "");
    ASSERT_EQ(read.pages.size(), 1u);
    ASSERT_FALSE(read.pages[0].empty());
    EXPECT_EQ(read.pages[0].back(), "Точек: 3, все без замечаний.");
    const auto csv = file_content(rig.folder.path() / "r.csv");
    ASSERT_TRUE(csv);
    EXPECT_NE(csv->find("20;210"), std::string::npos) << *csv;
    EXPECT_FALSE(std::filesystem::exists(rig.folder.path() / "n.csv"));
}

}  // namespace
}  // namespace velkon
