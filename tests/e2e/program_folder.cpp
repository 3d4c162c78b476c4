#include "tests/e2e/program_folder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace ferrolo::testing {

namespace {
// What the file holds so far; nothing when it does not exist yet.
std::string current_content(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}
}  // namespace

bool wait_for_text(const std::string& path, const std::string& text, std::chrono::seconds limit) {
    for (const auto give_up = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < give_up;
         std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (current_content(path).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

ProgramFolder::ProgramFolder() {
    std::filesystem::copy_file(FERROLO_BINARY, *this / "ferrolo");
    std::filesystem::permissions(*this / "ferrolo", std::filesystem::perms::owner_all);
}

RunningProgram ProgramFolder::start(const std::vector<std::string>& arguments) const {
    const std::string program = *this / "ferrolo";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(::open((*this / ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open((*this / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        if (::chdir(path().c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
    return RunningProgram(child, path());
}

RunningProgram::~RunningProgram() {
    if (!finished_) {
        ::kill(process_, SIGKILL);
        ::waitpid(process_, nullptr, 0);
    }
}

ProgramRun RunningProgram::finish() {
    int status = 0;
    ::waitpid(process_, &status, 0);
    finished_ = true;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, current_content(folder_ + ".stdout"),
            current_content(folder_ + ".stderr")};
}

}  // namespace ferrolo::testing
