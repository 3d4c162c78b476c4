// tests/e2e/program_folder.h — the built program installed in a folder of its own, run as a scheduler runs
// it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

struct ProgramRun {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string output;    // standard output
    std::string errors;    // standard error
};

// A started program; finish() waits for its end.
class RunningProgram {
public:
    RunningProgram(pid_t process, std::string output_file, std::string error_file)
        : process_(process), output_file_(std::move(output_file)), error_file_(std::move(error_file)) {}
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    // Kills the program if the test did not wait for it.
    ~RunningProgram();

    // Waits until the program has printed `text` to standard output; false after `limit`.
    bool wait_for_output(const std::string& text, std::chrono::seconds limit) const;
    void send(int signal) const;
    ProgramRun finish();

private:
    pid_t process_;
    bool finished_ = false;
    std::string output_file_;
    std::string error_file_;
};

class ProgramFolder {
public:
    ProgramFolder();

    const std::string& path() const { return folder_.path(); }
    std::string operator/(std::string_view relative) const { return folder_ / relative; }
    const TempFolder& folder() const { return folder_; }

    RunningProgram start(const std::vector<std::string>& arguments) const;
    ProgramRun run(const std::vector<std::string>& arguments) const { return start(arguments).finish(); }

    std::string agent_log() const;

private:
    TempFolder folder_;
};

}  // namespace ferrolo::testing
