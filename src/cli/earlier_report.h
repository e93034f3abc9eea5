// The units of an earlier fleet run that did not end done, taken from its report, so that a run
// can go again over them alone (`--only-failed`): the .json or .csv report velkon-cli wrote.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace velkon::cli {

struct FailedPorts {
    std::vector<std::string> ports;  // in the report's order, each once
    std::size_t units = 0;           // rows in the report
    std::string error;               // why the report cannot be used
    explicit operator bool() const { return error.empty(); }
};

// A unit failed when its status is not 0, or missing (the run ended before it was done).
FailedPorts failed_ports_of_report(const std::filesystem::path& path);

}  // namespace velkon::cli
