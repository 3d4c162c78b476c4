// tests/e2e/program_folder.h — the built program installed in a folder of its own, run as a scheduler runs
// it.
#pragma once

#include <signal.h>
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

// Waits until the file `path` holds `text`; false after `limit`.
bool wait_for_text(const std::string& path, const std::string& text, std::chrono::seconds limit);

// A started program, whose standard output and error go to files in its folder; finish() waits for its end.
class RunningProgram {
public:
    RunningProgram(pid_t process, std::string folder) : process_(process), folder_(std::move(folder)) {}
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    // Kills the program if the test did not wait for it.
    ~RunningProgram();

    bool wait_for_output(const std::string& text, std::chrono::seconds limit) const {
        return wait_for_text(folder_ + ".stdout", text, limit);
    }
    void send(int signal) const { ::kill(process_, signal); }
    ProgramRun finish();

private:
    pid_t process_;
    std::string folder_;
    bool finished_ = false;
};

class ProgramFolder : public TempFolder {
public:
    ProgramFolder();

    const TempFolder& folder() const { return *this; }

    RunningProgram start(const std::vector<std::string>& arguments) const;
    ProgramRun run(const std::vector<std::string>& arguments) const { return start(arguments).finish(); }
    std::string agent_log() const { return read_file(*this / "Ferrolo.LOG"); }
};

}  // namespace ferrolo::testing
