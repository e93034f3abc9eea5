// velkon-cli built without Qt: the report needs Qt's PDF writer, so the command says so.
#include "cli/tank_report.h"

namespace velkon::cli {

int run_tank(const std::vector<std::string>&, std::ostream& err) {
    err << "Эта сборка velkon-cli без Qt: отчёт о тарировке не составить.\n";
    return 2;
}

}  // namespace velkon::cli
