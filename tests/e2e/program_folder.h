// tests/e2e/program_folder.h — the built program installed in a folder of its own, run as a scheduler runs
// it.
#pragma once

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

struct ProgramRun {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string output;    // standard output
    std::string errors;    // standard error
};

class ProgramFolder {
public:
    ProgramFolder();

    const std::string& path() const { return folder_.path(); }
    std::string operator/(std::string_view relative) const { return folder_ / relative; }
    const TempFolder& folder() const { return folder_; }

    // Runs the program with `arguments` and waits for it; `signal_after` > 0 sends `signal` that many
    // milliseconds after the start (several times when `signal_count` > 1, a second apart).
    ProgramRun run(const std::vector<std::string>& arguments, int signal = 0, int signal_after_ms = 0,
                   int signal_count = 1) const;

    std::string agent_log() const;

private:
    TempFolder folder_;
};

}  // namespace ferrolo::testing
