// The arguments and the terminal already speak UTF-8 here.
#include <iostream>

#include "cli/system_io.h"

namespace velkon::cli {

std::vector<std::string> program_arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

std::ostream& message_output() {
    return std::cerr;
}

}  // namespace velkon::cli
