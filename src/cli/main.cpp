// velkon-cli: see cli/cli_tool.h.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_tool.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto lister = velkon::make_system_port_lister();
    velkon::cli::CliTool tool(
        {[] { return velkon::make_serial_port(); }, *lister, std::cout, std::cerr});
    const int status = tool.run(args);
    std::cout.flush();
    return status;
}
