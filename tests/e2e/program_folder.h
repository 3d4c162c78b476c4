// tests/e2e/program_folder.h — the built program, copied into a program folder of its own and run there as
// a scheduler runs it, with its real start delay.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

using namespace std::chrono_literals;

// What the file holds so far; nothing when it does not exist yet.
inline std::string content_of(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

// Waits until the file `path` holds `text`; false after `limit`.
inline bool wait_for_text(const std::string& path, const std::string& text, std::chrono::seconds limit) {
    for (const auto give_up = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < give_up; std::this_thread::sleep_for(20ms)) {
        if (content_of(path).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct ProgramRun {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string output;    // standard output
    std::string errors;    // standard error
};

// Variables to set for the program.
using Environment = std::vector<std::pair<std::string, std::string>>;

class ProgramFolder : public TempFolder {
public:
    ProgramFolder() { std::filesystem::copy_file(FERROLO_BINARY, *this / "ferrolo"); }
    // Kills the program if the test did not wait for it.
    ~ProgramFolder() {
        if (running_ != 0) {
            ::kill(running_, SIGKILL);
            finish();
        }
    }

    // Starts the program in its folder, its standard output and error going to files there. It runs
    // without DISPLAY and FERROLO_UI, so in the console, unless `environment` sets them.
    void start(const std::vector<std::string>& arguments, const Environment& environment = {}) {
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
                ::setenv(name.c_str(), value.c_str(), 1);
            }
            ::dup2(::open((*this / ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            ::dup2(::open((*this / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            if (::chdir(path().c_str()) == 0) {
                ::execv(program.c_str(), argv.data());
            }
            ::_exit(127);
        }
    }
    void send(int signal) const { ::kill(running_, signal); }
    // Waits for the program's end; after `limit` it is killed and the test fails.
    ProgramRun finish(std::chrono::seconds limit = 600s) {
        int status = 0;
        for (const auto give_up = std::chrono::steady_clock::now() + limit;
             ::waitpid(running_, &status, WNOHANG) == 0; std::this_thread::sleep_for(20ms)) {
            if (std::chrono::steady_clock::now() > give_up && ::kill(running_, SIGKILL) == 0) {
                ADD_FAILURE() << "the program did not end within " << limit.count() << " s";
            }
        }
        running_ = 0;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, content_of(*this / ".stdout"),
                content_of(*this / ".stderr")};
    }
    ProgramRun run(const std::vector<std::string>& arguments, const Environment& environment = {}) {
        start(arguments, environment);
        return finish();
    }
    std::string agent_log() const { return read_file(*this / "Ferrolo.LOG"); }

private:
    pid_t running_ = 0;
};

inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Writes `count` files of text that deflates slowly at the highest level into `folder`, so packing them
// lasts seconds.
inline void write_slow_files(const std::string& folder, int count) {
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

// A program folder with a source, an output and a remote folder, and the job "notte.ini" that backs the
// source up into out/notte.zip with both logs beside it.
struct NightlyJob {
    void write_job(const std::string& zip_keys, const std::string& smtp_keys = "") const {
        program.write("notte.ini", "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=" + source + "/*.*\r\nPARAM_2=" +
                                       archive + "\r\nPARAM_3=" + out + "log.txt\r\nPARAM_4=" + out +
                                       "log_ext.txt\r\n[PARAMETRI_FILEZIP]\r\n" + zip_keys +
                                       "[PARAMETRI_SMTP]\r\n" + smtp_keys);
    }
    std::vector<std::string> listing() const {
        return lines_of(run_command("unzip -Z1 " + shell_quote(archive)).output);
    }
    int unzip_test() const { return run_command("unzip -tq " + shell_quote(archive)).exit_status; }

    ProgramFolder program;
    const std::string source = program.make_folder("source");
    const std::string out = program.make_folder("out") + "/";
    const std::string remote = program.make_folder("remote") + "/";
    std::string archive = out + "notte.zip";
};

}  // namespace ferrolo::testing
