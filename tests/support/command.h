// tests/support/command.h — runs a peer program (unzip, 7z, python3) and keeps what it printed.
#pragma once

#include <string>

namespace ferrolo::testing {

struct CommandResult {
    int exit_status = -1;  // the program's exit status; -1 when it did not exit normally
    std::string output;    // standard output and standard error together
};

// Runs `command` through /bin/sh.
CommandResult run_command(const std::string& command);

// `text` quoted for /bin/sh.
std::string shell_quote(const std::string& text);

}  // namespace ferrolo::testing
