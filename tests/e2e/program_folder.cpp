#include "tests/e2e/program_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

namespace ferrolo::testing {

ProgramFolder::ProgramFolder() {
    std::filesystem::copy_file(FERROLO_BINARY, folder_ / "ferrolo");
    std::filesystem::permissions(folder_ / "ferrolo", std::filesystem::perms::owner_all);
}

ProgramRun ProgramFolder::run(const std::vector<std::string>& arguments, int signal, int signal_after_ms,
                              int signal_count) const {
    const std::string program = folder_ / "ferrolo";
    const std::string output_file = folder_ / ".stdout";
    const std::string error_file = folder_ / ".stderr";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        ::chdir(folder_.path().c_str());
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    if (signal != 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(signal_after_ms));
        for (int sent = 0; sent < signal_count; ++sent) {
            if (sent > 0) {
                std::this_thread::sleep_for(std::chrono::seconds(1));
            }
            ::kill(child, signal);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ProgramRun result;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = read_file(output_file);
    result.errors = read_file(error_file);
    std::filesystem::remove(output_file);
    std::filesystem::remove(error_file);
    return result;
}

std::string ProgramFolder::agent_log() const {
    return read_file(folder_ / "Ferrolo.LOG");
}

}  // namespace ferrolo::testing
