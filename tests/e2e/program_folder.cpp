#include "tests/e2e/program_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/command.h"

namespace ferrolo::testing {

using namespace std::chrono_literals;

ProgramFolder::ProgramFolder() {
    std::filesystem::copy_file(FERROLO_BINARY, *this / "ferrolo");
}

ProgramFolder::~ProgramFolder() {
    if (running_ != 0) {
        ::kill(running_, SIGKILL);
        ::waitpid(running_, nullptr, 0);
    }
}

void ProgramFolder::start(const std::vector<std::string>& arguments, const Environment& environment) {
    const std::string program = *this / "ferrolo";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    running_ = ::fork();
    if (running_ == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("FERROLO_UI");
        for (const auto& [name, value] : environment) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
        ::dup2(::open((*this / ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
        ::dup2(::open((*this / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        if (::chdir(path().c_str()) == 0) {
            ::execv(program.c_str(), argv.data());
        }
        ::_exit(127);
    }
}

void ProgramFolder::send(int signal) const {
    ::kill(running_, signal);
}

ProgramRun ProgramFolder::finish(std::chrono::seconds limit) {
    int status = 0;
    const auto give_up = std::chrono::steady_clock::now() + limit;
    while (::waitpid(running_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > give_up) {
            ADD_FAILURE() << "the program did not end within " << limit.count() << " s";
            ::kill(running_, SIGKILL);
            ::waitpid(running_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    running_ = 0;
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, content_of(*this / ".stdout"),
            content_of(*this / ".stderr")};
}

std::string content_of(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

bool wait_for_text(const std::string& path, const std::string& text, std::chrono::seconds limit) {
    for (const auto give_up = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < give_up; std::this_thread::sleep_for(20ms)) {
        if (content_of(path).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void write_slow_files(const std::string& folder, int count) {
    ASSERT_EQ(run_command("/usr/bin/python3 -c " + shell_quote(R"(
import random, sys
random.seed(7)
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 9))) for _ in range(5000)]
for n in range(int(sys.argv[2])):
    with open(f'{sys.argv[1]}/part{n:02}.txt', 'w') as out:
        out.write(' '.join(random.choice(words) for _ in range(800000)))
)") + " " + shell_quote(folder) +
                          " " + std::to_string(count))
                  .exit_status,
              0);
}

}  // namespace ferrolo::testing
