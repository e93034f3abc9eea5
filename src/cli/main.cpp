// velkon-cli: see cli/cli_tool.h.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_tool.h"
#include "cli/end_on_signals.h"
#include "cli/fd_output.h"
#include "cli/system_io.h"
#include "files/file_error.h"

int main(int argc, char** argv) {
    // First, so that a signal or a file-size limit finds the port handled from its open on.
    velkon::cli::EndOnSignals signals;
    const std::vector<std::string> args = velkon::cli::program_arguments(argc, argv);
    std::ostream& err = velkon::cli::message_output();
    auto lister = velkon::make_system_port_lister();
    // The data go through a buffer of our own: std::cout would lose the reason of a failed write.
    velkon::cli::FdOutput out_buffer(1);  // the standard output
    std::ostream out(&out_buffer);
    velkon::cli::CliTool tool({[&signals] { return signals.watch(velkon::make_serial_port()); },
                               *lister, out, err, std::chrono::milliseconds(500), &signals});
    int status = tool.run(args);
    out.flush();
    // A closed pipe the output ran into ends the program by its SIGPIPE, with no message.
    signals.settle();
    if (const int error = out_buffer.error()) {
        err << "Не удалось записать данные в стандартный вывод: " << velkon::file_error_text(error)
            << ".\n";
        if (status == velkon::cli::kDone) status = velkon::cli::kOutputFailed;
    }
    return status;
}
