// The commands of velkon-cli, one function each; the table in cli_commands.cpp names them.
#pragma once

#include "cli/cli_tool.h"

namespace velkon::cli {

int run_ports(CliTool& tool, const CommandLine& line);
int run_readings(CliTool& tool, const CommandLine& line);
int run_live(CliTool& tool, const CommandLine& line);
int run_config_read(CliTool& tool, const CommandLine& line);
int run_config_write(CliTool& tool, const CommandLine& line);
int run_imei(CliTool& tool, const CommandLine& line);
// fleet.cpp
int run_fleet_write(CliTool& tool, const CommandLine& line);
int run_fleet_read(CliTool& tool, const CommandLine& line);
int run_fleet_imei(CliTool& tool, const CommandLine& line);
// tank_report.cpp
int run_tank_report(CliTool& tool, const CommandLine& line);

}  // namespace velkon::cli
