#include "tests/e2e/program_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ferrolo::testing {

namespace {
std::string current_content(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}
}  // namespace

ProgramFolder::ProgramFolder() {
    std::filesystem::copy_file(FERROLO_BINARY, folder_ / "ferrolo");
    std::filesystem::permissions(folder_ / "ferrolo", std::filesystem::perms::owner_all);
}

RunningProgram ProgramFolder::start(const std::vector<std::string>& arguments) const {
    const std::string program = folder_ / "ferrolo";
    std::string output_file = folder_ / ".stdout";
    std::string error_file = folder_ / ".stderr";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open(error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        if (::chdir(folder_.path().c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    return RunningProgram(child, std::move(output_file), std::move(error_file));
}

std::string ProgramFolder::agent_log() const {
    return read_file(folder_ / "Ferrolo.LOG");
}

RunningProgram::~RunningProgram() {
    if (!finished_) {
        ::kill(process_, SIGKILL);
        ::waitpid(process_, nullptr, 0);
    }
}

bool RunningProgram::wait_for_output(const std::string& text, std::chrono::seconds limit) const {
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < give_up) {
        if (current_content(output_file_).find(text) != std::string::npos) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void RunningProgram::send(int signal) const {
    ::kill(process_, signal);
}

ProgramRun RunningProgram::finish() {
    int status = 0;
    ::waitpid(process_, &status, 0);
    finished_ = true;
    ProgramRun result;
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.output = current_content(output_file_);
    result.errors = current_content(error_file_);
    std::filesystem::remove(output_file_);
    std::filesystem::remove(error_file_);
    return result;
}

}  // namespace ferrolo::testing
