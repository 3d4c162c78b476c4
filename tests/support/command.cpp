#include "tests/support/command.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <regex>

namespace ferrolo::testing {

CommandResult run_command(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    for (size_t count; (count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        result.output.append(buffer.data(), count);
    }
    const int status = ::pclose(pipe);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shell_quote(const std::string& text) {
    // Appended piece by piece: gcc 12 at -O3 wrongly warns of overlapping copies in "'" + string.
    std::string quoted = "'";
    quoted.append(std::regex_replace(text, std::regex("'"), "'\\''")).append("'");
    return quoted;
}

}  // namespace ferrolo::testing
