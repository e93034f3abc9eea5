// velkon-sim: the fuel level sensor and the tracker unit on a pseudo-terminal.
//
// Prints the pseudo-terminal's path as the first line of standard output, then answers on it
// until SIGINT or SIGTERM, until --requests are done, or until a --hangup-after fault closes the
// line. With --tank, lines "pour LITRES" on standard input pour fuel into the sensor's tank.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "sim/device.h"
#include "sim/pty_server.h"

namespace {

using namespace velkon::sim;
using std::chrono::milliseconds;

struct Cli {
    bool verbose = false;
    bool help = false;
    std::uint64_t requests = 0;  // stop after this many; 0 = never
};

struct Settings {
    SensorState sensor;
    TrackerState tracker;
    Faults faults{.pacing = true};  // a real line takes its time
    ServerOptions server;
    Cli cli;
};

// A decimal number, or hexadecimal after "0x", within [low, high].
std::optional<long long> number(std::string_view text, long long low, long long high) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

using Setter = std::function<bool(Settings&, std::string_view)>;

template <class Group, class Field>
Setter set_number(Group Settings::*group, Field Group::*field, long long low, long long high) {
    return [=](Settings& s, std::string_view text) {
        const auto value = number(text, low, high);
        if (value) (s.*group).*field = static_cast<Field>(*value);
        return value.has_value();
    };
}

template <class Group>
Setter set_text(Group Settings::*group, std::string Group::*field) {
    return [=](Settings& s, std::string_view text) {
        (s.*group).*field = std::string(text);
        return true;
    };
}

template <class Group>
Setter set_switch(Group Settings::*group, bool Group::*field, bool on = true) {
    return [=](Settings& s, std::string_view) {
        (s.*group).*field = on;
        return true;
    };
}

Setter set_ms(milliseconds Faults::*field) {
    return [=](Settings& s, std::string_view text) {
        const auto value = number(text, 0, 600'000);
        if (value) s.faults.*field = milliseconds(*value);
        return value.has_value();
    };
}

struct Option {
    const char* name;
    const char* value;  // name of the value in the help text; nullptr: a switch
    const char* help;
    Setter apply;
};

const std::vector<Option>& options() {
    static const std::vector<Option> kOptions = {
        {"--help", nullptr, "show this text and exit", set_switch(&Settings::cli, &Cli::help)},
        {"--verbose", nullptr, "log every request and answer in hexadecimal on stderr",
         set_switch(&Settings::cli, &Cli::verbose)},
        {"--requests", "N", "exit after N requests",
         set_number(&Settings::cli, &Cli::requests, 1, std::numeric_limits<long long>::max())},
        {"--gap", "MS", "silence that gives up an incomplete request (default 10)",
         [](Settings& s, std::string_view t) {
             const auto v = number(t, 1, 10'000);
             if (v) s.server.request_gap = milliseconds(*v);
             return v.has_value();
         }},
        // The sensor.
        {"--address", "N", "sensor network address, 0..254 (default 1)",
         set_number(&Settings::sensor, &SensorState::address, 0, 254)},
        {"--temperature", "C", "sensor temperature, -128..127 (default 21)",
         set_number(&Settings::sensor, &SensorState::temperature, -128, 127)},
        {"--level", "PERCENT", "initial tank filling, 0..100 (default 75)",
         [](Settings& s, std::string_view t) {
             const auto v = number(t, 0, 100);
             if (v) s.sensor.fuel_ppm = static_cast<std::uint32_t>(*v * 10'000);
             return v.has_value();
         }},
        {"--tank", "LITRES[:SHAPE]",
         "a tank of LITRES, shape straight (default) or cylinder (lying), empty at start; "
         "\"pour N\" lines on stdin fill it",
         [](Settings& s, std::string_view t) {
             s.sensor.tank = Tank::from_text(t);
             if (s.sensor.tank) s.sensor.fuel_ppm = 0;
             return s.sensor.tank.has_value();
         }},
        {"--consumption", "PPM", "tank used per second, millionths of full (default 200)",
         set_number(&Settings::sensor, &SensorState::consumption_ppm_per_s, 0, 1'000'000)},
        {"--mode", "BYTE", "sensor mode byte (default 0x08)",
         set_number(&Settings::sensor, &SensorState::mode, 0, 255)},
        {"--no-mode-byte", nullptr, "readings answer of 21 bytes, without the mode byte",
         set_switch(&Settings::sensor, &SensorState::readings_carry_mode, false)},
        {"--firmware", "N", "sensor firmware version number, 0..255 (default 163)",
         set_number(&Settings::sensor, &SensorState::firmware, 0, 255)},
        {"--firmware-lead", "N", "sensor leading version byte, 0..255 (default 0 = none)",
         set_number(&Settings::sensor, &SensorState::firmware_lead, 0, 255)},
        {"--serial", "N", "sensor serial number (default 4242)",
         set_number(&Settings::sensor, &SensorState::serial, 0, 0xFFFFFFFFLL)},
        {"--password", "N", "sensor password (default 0 = none)",
         set_number(&Settings::sensor, &SensorState::password, 0, 0xFFFFFFFFLL)},
        // The tracker unit.
        {"--tracker-firmware", "N", "tracker firmware version, 0..65535 (default 43)",
         set_number(&Settings::tracker, &TrackerState::firmware, 0, 65535)},
        {"--tracker-serial", "N", "tracker serial number (default 100500)",
         set_number(&Settings::tracker, &TrackerState::serial, 0, 0xFFFFFFFFLL)},
        {"--imei", "TEXT", "tracker IMEI, 15 characters",
         set_text(&Settings::tracker, &TrackerState::imei)},
        {"--sim", "TEXT", "tracker SIM number, 20 characters",
         set_text(&Settings::tracker, &TrackerState::sim)},
        // Faults.
        {"--silent", nullptr, "never answer", set_switch(&Settings::faults, &Faults::silent)},
        {"--silent-every", "N", "leave every Nth request unanswered",
         set_number(&Settings::faults, &Faults::silent_every, 1, 1'000'000)},
        {"--wrong-check", nullptr, "answers carry a wrong check byte",
         set_switch(&Settings::faults, &Faults::wrong_check)},
        {"--unknown-code", nullptr, "answers carry the unknown code 0x99",
         set_switch(&Settings::faults, &Faults::unknown_code)},
        {"--modem-text", nullptr, "send a line of modem text instead of every answer",
         set_switch(&Settings::faults, &Faults::modem_text)},
        {"--oversize", "N", "grow every answer frame to N bytes, 5..65535 (over 255: two reads)",
         set_number(&Settings::faults, &Faults::oversize, 5, 65535)},
        {"--split", "MS", "send every answer in two writes MS apart",
         [](Settings& s, std::string_view t) {
             s.faults.split = true;
             return set_ms(&Faults::split_gap)(s, t);
         }},
        {"--delay", "MS", "wait MS before every answer", set_ms(&Faults::delay)},
        {"--hangup-after", "N", "close the line (and exit) after answering N requests",
         set_number(&Settings::faults, &Faults::hangup_after, 1, 1'000'000)},
        {"--pace", nullptr, "send at wire speed, 19200 baud (the default)",
         set_switch(&Settings::faults, &Faults::pacing)},
        {"--no-pace", nullptr, "send answers at once",
         set_switch(&Settings::faults, &Faults::pacing, false)},
    };
    return kOptions;
}

void print_help() {
    std::printf(
        "Usage: velkon-sim [options]\n"
        "Simulates the fuel level sensor and the tracker unit on a pseudo-terminal.\n"
        "Prints the pseudo-terminal's path on the first line, then answers until SIGINT/SIGTERM.\n"
        "Point the configurator at it with VELKON_EXTRA_PORTS=<path>.\n\n");
    for (const auto& option : options()) {
        std::string left = option.name;
        if (option.value) left = left + " " + option.value;
        std::printf("  %-22s %s\n", left.c_str(), option.help);
    }
    std::printf(
        "\n-v is --verbose, -h is --help; \"--name value\" and \"--name=value\" both work.\n");
}

// "--name value" and "--name=value" both work.
bool parse(int argc, char** argv, Settings& settings) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "-v") arg = "--verbose";
        if (arg == "-h") arg = "--help";
        std::optional<std::string_view> inline_value;
        if (const auto eq = arg.find('='); eq != std::string_view::npos) {
            inline_value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const Option* found = nullptr;
        for (const auto& option : options()) {
            if (arg == option.name) found = &option;
        }
        if (!found) {
            std::fprintf(stderr, "velkon-sim: unknown option %s (try --help)\n", argv[i]);
            return false;
        }
        std::string_view value;
        if (found->value) {
            if (inline_value) {
                value = *inline_value;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                std::fprintf(stderr, "velkon-sim: %s needs a value %s\n", found->name,
                             found->value);
                return false;
            }
        }
        if (!found->apply(settings, value)) {
            std::fprintf(stderr, "velkon-sim: bad value for %s: %.*s\n", found->name,
                         static_cast<int>(value.size()), value.data());
            return false;
        }
    }
    return true;
}

void log_to_stderr(const std::string& line) {
    static const auto start = std::chrono::steady_clock::now();
    const auto ms =
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "[%6lld.%03lld] %s\n", static_cast<long long>(ms / 1000),
                 static_cast<long long>(ms % 1000), line.c_str());
}

// Standard input, read without blocking the main loop: whole lines are handed to the tank.
class PourCommands {
  public:
    // False once standard input has ended.
    bool open() const { return open_; }
    // Reads what has arrived within `timeout_ms` and runs the complete lines.
    void poll_once(PtyServer& server, int timeout_ms) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) return;
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            open_ = false;
            return;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
        for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            run(server, std::string_view(pending_).substr(0, end));
            pending_.erase(0, end + 1);
        }
        if (pending_.size() > 1024) pending_.clear();
    }

  private:
    static void run(PtyServer& server, std::string_view line) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        if (line.empty()) return;
        double litres = 0.0;
        const bool is_pour = line.substr(0, 5) == "pour ";
        if (is_pour) {
            const std::string_view amount = line.substr(5);
            const auto [end, ec] =
                std::from_chars(amount.data(), amount.data() + amount.size(), litres);
            if (ec != std::errc{} || end != amount.data() + amount.size()) {
                std::fprintf(stderr, "velkon-sim: bad amount in \"%.*s\"\n",
                             static_cast<int>(line.size()), line.data());
                return;
            }
        } else {
            std::fprintf(stderr, "velkon-sim: unknown command \"%.*s\" (try \"pour 20\")\n",
                         static_cast<int>(line.size()), line.data());
            return;
        }
        server.with_device([litres](Device& device) {
            if (!device.sensor().tank) {
                std::fprintf(stderr, "velkon-sim: no tank (start with --tank LITRES)\n");
                return;
            }
            Tank& tank = *device.sensor().tank;
            const double moved = tank.pour(litres);
            std::fprintf(stderr, "velkon-sim: poured %.3g l, %.4g of %.4g l in the tank\n", moved,
                         tank.contents(), tank.volume());
        });
    }

    bool open_ = true;
    std::string pending_;
};

}  // namespace

int main(int argc, char** argv) {
    Settings settings;
    if (!parse(argc, argv, settings)) return 2;
    if (settings.cli.help) {
        print_help();
        return 0;
    }
    if (settings.cli.verbose) settings.server.log = log_to_stderr;

    // Signals are taken by the main thread only; the server thread inherits the mask.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    Device device(settings.sensor, settings.tracker);
    device.faults() = settings.faults;
    PtyServer server(std::move(device), settings.server);
    if (!server.start()) {
        std::fprintf(stderr, "velkon-sim: cannot open a pseudo-terminal: %s\n",
                     server.error().c_str());
        return 1;
    }
    std::printf("%s\n", server.slave_path().c_str());
    std::fflush(stdout);

    PourCommands commands;
    for (;;) {
        timespec poll_interval{0, 100'000'000};
        if (commands.open()) {
            commands.poll_once(server, 100);
            poll_interval = {0, 0};
        }
        const int signal = sigtimedwait(&stop_signals, nullptr, &poll_interval);
        if (signal == SIGINT || signal == SIGTERM) break;
        if (server.hung_up()) break;
        if (settings.cli.requests != 0 && server.requests() >= settings.cli.requests) break;
    }
    server.stop();
    return 0;
}
