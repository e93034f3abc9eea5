// velkon-cli: the configurator for scripts and production lines. The same frames, checks,
// decoders, profiles and serial driver as the window, and no window: data on the standard output,
// messages (in Russian) on the error output.
//
// Exit status: 0 done; 1 the device did not answer, refused, or read back differently, or the
// output could not be written; 2 bad usage, a bad input file or value, or the console named
// without --console; 3 the port could not be opened (absent, busy, no rights); a fleet ends with
// the largest status of its units; 128 + N ended by signal N (Ctrl-C, kill, a closed terminal or
// pipe), every port given back as it was found.
//
// Commands are rows of one table (cli_commands.cpp): a command is added by a row there and a
// function of the CommandRun type, in a source file of its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/unit_jobs.h"
#include "serial/port_discovery.h"
#include "serial/serial_port.h"

namespace velkon::cli {

// The signals a command may be told of, by their POSIX numbers on every system; on Windows the
// console's events come as an interrupt or a hang-up (cli/end_on_signals.h).
inline constexpr int kSignalHangUp = 1;
inline constexpr int kSignalInterrupt = 2;
inline constexpr int kSignalPipe = 13;
inline constexpr int kSignalTerminate = 15;

// Where a long command hears of a signal that ends the program (Ctrl-C, kill, a closed terminal),
// so that it can leave its record first.
class SignalNotice {
  public:
    virtual ~SignalNotice() = default;
    // While `hook` is set, a signal is told to it, on another thread, and does not end the
    // program at once: every port is closed after the hook returns, and the program ends by the
    // signal once the command has returned. An empty function takes the hook away; once that
    // call returns the old hook is no longer called.
    virtual void on_signal(std::function<void(int)> hook) = 0;
};

struct CliSeams {
    std::function<std::unique_ptr<SerialPort>()> make_port;
    PortLister& ports;
    std::ostream& out;
    std::ostream& err;
    // Between two readings when no --interval is given: the window's pace.
    std::chrono::milliseconds readings_interval{500};
    // None: no signal is told (it ends the program as the system would).
    SignalNotice* signal_notice = nullptr;
};

// The options a command may take, one bit each.
enum OptionBit : std::uint32_t {
    kOptJson = 1u << 0,
    kOptCsv = 1u << 1,
    kOptCount = 1u << 2,
    kOptInterval = 1u << 3,
    kOptOutput = 1u << 4,
    kOptSet = 1u << 5,
    kOptReport = 1u << 6,
    kOptAll = 1u << 7,
    // Every command that opens a port takes these two.
    kOptTimeout = 1u << 8,
    kOptConsole = 1u << 9,
    kOptPort = kOptTimeout | kOptConsole,
    kOptLong = 1u << 10,
    // fleet write: per-unit values and what is checked before anything is written.
    kOptValues = 1u << 11,
    kOptValuesOptional = 1u << 12,
    kOptUnique = 1u << 13,
    kOptDryRun = 1u << 14,
    // fleet: the ports an earlier report lists as not done.
    kOptOnlyFailed = 1u << 15,
};

struct CommandLine {
    std::vector<std::string> args;  // the positional arguments after the command's words
    std::uint32_t given = 0;        // OptionBit of every option given
    std::optional<long> count;
    std::optional<std::chrono::milliseconds> interval;
    std::chrono::milliseconds timeout{500};
    std::optional<std::string> output;
    std::optional<std::string> report;
    std::vector<std::string> sets;
    bool json = false, csv = false, all = false, console = false;
    bool long_list = false;             // ports --long
    std::optional<std::string> values;  // a values table
    bool values_optional = false, dry_run = false;
    std::vector<std::string> unique;         // profile keys
    std::optional<std::string> only_failed;  // an earlier report
};

class CliTool;
using CommandRun = int (*)(CliTool& tool, const CommandLine& line);

struct CommandRow {
    std::string_view words;      // "config write"
    std::string_view arguments;  // "ПОРТ ФАЙЛ", for messages
    std::size_t min_args, max_args;
    std::uint32_t options;  // OptionBit
    CommandRun run;
};

// The table of commands (cli_commands.cpp).
std::span<const CommandRow> command_table();

class CliTool {
  public:
    explicit CliTool(CliSeams seams) : s_(std::move(seams)) {}

    // Runs one command line (without the program name); returns the exit status.
    int run(const std::vector<std::string>& args);

    // For the commands.
    std::ostream& out() { return s_.out; }
    std::ostream& err() { return s_.err; }
    PortLister& ports() { return s_.ports; }
    std::chrono::milliseconds readings_interval() const { return s_.readings_interval; }
    const CliSeams& seams() const { return s_; }
    // The port a user named (a name from the list or a path); nullopt after saying why (status 3).
    std::optional<NamedPort> find_port(const std::string& name, std::ostream& say);
    UnitJobSettings job_settings(const CommandLine& line) const;
    // Finds and opens a port for a one-unit command; nullptr after saying why, `status` set.
    std::unique_ptr<SerialPort> open_one(const CommandLine& line, const std::string& name,
                                         int& status);
    int usage_error(const std::string& message);

  private:
    CliSeams s_;
};

// The help text.
std::string help_text();

// "«text»".
std::string in_quotes(const std::string& text);

// The local time as ISO 8601 with its offset: 2026-12-11T09:30:05+03:00.
std::string iso_time_now();

}  // namespace velkon::cli
