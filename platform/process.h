// platform/process.h — this process and the programs it starts.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace ferrolo::platform {

// The program's command-line arguments in UTF-8, its own name first: `arguments` on POSIX; on Windows
// read again from the wide command line, so that a name outside the ANSI code page arrives whole.
std::vector<std::string> program_arguments(int count, const char* const* arguments);

// Full path of the running program file.
std::string program_path();

// Ends the process at once with `status`, after flushing the standard streams; no destructors run.
[[noreturn]] void end_process(int status);

// Opens `path` in the program associated with its type, detached; the outcome is not reported.
void open_with_associated_program(const std::string& path);

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

// True when standard output is a terminal.
bool standard_output_is_terminal();

}  // namespace ferrolo::platform
