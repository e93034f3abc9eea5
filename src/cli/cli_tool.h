// velkon-cli: the configurator for scripts and production lines. The same frames, checks,
// decoders, profiles and serial driver as the window, and no window: data on the standard output,
// messages (in Russian) on the error output.
//
// Exit status: 0 done; 1 the device did not answer, refused, or read back differently, or the
// output could not be written; 2 bad usage, a bad profile, or a port that could not be opened;
// 128 + N ended by signal N (Ctrl-C, kill, a closed terminal or pipe), the port given back as it
// was found.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "serial/port_discovery.h"
#include "serial/serial_port.h"

namespace velkon::cli {

enum ExitStatus : int { kDone = 0, kDeviceFailed = 1, kBadInput = 2, kOutputFailed = 1 };

struct CliSeams {
    std::function<std::unique_ptr<SerialPort>()> make_port;
    PortLister& ports;
    std::ostream& out;
    std::ostream& err;
    // Between two readings: the window's pace.
    std::chrono::milliseconds readings_interval{500};
};

class CliTool {
  public:
    explicit CliTool(CliSeams seams) : s_(std::move(seams)) {}

    // Runs one command line (without the program name); returns the exit status.
    int run(const std::vector<std::string>& args);

  private:
    struct Options;
    int list_ports();
    int readings(const Options& o);
    int config_read(const Options& o);
    int config_write(const Options& o);
    int imei(const Options& o);
    // Opens the port the user named; nullptr after saying why.
    std::unique_ptr<SerialPort> open_port(const std::string& name);
    int usage_error(const std::string& message);

    CliSeams s_;
};

// The help text.
std::string help_text();

}  // namespace velkon::cli
