// velkon-cli tank report SESSION.tarirovka -o FILE.pdf|FILE.csv: the calibration report of a
// saved session without the window, drawn by the same code as the window's «Отчёт…».
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace velkon::cli {

// `args` from "tank" on; returns the program's exit status (0 done, 2 usage or input file).
int run_tank(const std::vector<std::string>& args, std::ostream& err);

}  // namespace velkon::cli
