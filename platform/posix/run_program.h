// platform/posix/run_program.h — the programs the POSIX layer starts to reach the system (systemctl).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ferrolo::platform {

// The first executable file named `name` in the folders of PATH; nothing when there is none.
std::optional<std::string> find_program(const std::string& name);

struct ProgramOutcome {
    std::optional<int> exit_status;  // nothing when it could not start, was killed or outlived its limit
    std::string output;              // what it wrote to standard output
};

// Runs `program` (a full path) with `arguments`, no shell between, and waits for it at most `limit`; a
// program still running then is killed. Its standard input and error are the null device.
ProgramOutcome run_program(const std::string& program, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds limit);

}  // namespace ferrolo::platform
