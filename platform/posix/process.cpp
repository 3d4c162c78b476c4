#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/posix/interrupted.h"
#include "platform/system_error.h"

namespace ferrolo::platform {

std::vector<std::string> program_arguments(int count, const char* const* arguments) {
    return {arguments, arguments + count};
}

std::string program_path() {
    std::string path(4096, '\0');
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0 || static_cast<size_t>(length) == path.size()) {
        // A path that fills the buffer may have been cut: better no program folder than a wrong one.
        throw SystemError("find program file", "/proc/self/exe", length < 0 ? errno : ENAMETOOLONG);
    }
    path.resize(static_cast<size_t>(length));
    return path;
}

void end_process(int status) {
    std::fflush(nullptr);
    std::_Exit(status);
}

void open_with_associated_program(const std::string& path) {
    // Started through a short-lived middle process so that the opener belongs to no one here and never
    // becomes a zombie; the opener runs with default signals and no inherited terminal input.
    const pid_t middle = ::fork();
    if (middle < 0) {
        return;
    }
    if (middle == 0) {
        ::setsid();
        if (::fork() == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            const int null_device = ::open("/dev/null", O_RDWR);
            if (null_device >= 0) {
                ::dup2(null_device, STDIN_FILENO);
                ::dup2(null_device, STDOUT_FILENO);
                ::dup2(null_device, STDERR_FILENO);
            }
            ::execlp("xdg-open", "xdg-open", path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    retry_if_interrupted([&] { return ::waitpid(middle, nullptr, 0); });
}

std::optional<std::string> find_program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path == nullptr ? "" : path;
    while (!folders.empty()) {
        const size_t colon = folders.find(':');
        const std::string_view folder = folders.substr(0, colon);
        folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
        // An empty entry would mean the current folder, which is no place to take a program from.
        if (folder.empty()) {
            continue;
        }
        const std::string candidate = std::string(folder) + "/" + name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

namespace {

// Standard input and error from the null device, standard output into `output_end`; the signals this
// process holds for its console are given back to their defaults.
pid_t spawn(const std::string& program, const std::vector<std::string>& arguments, int output_end) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, output_end, STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    ::posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(&defaults, signal);
    }
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &defaults);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    const int result = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? child : -1;
}

}  // namespace

ProgramOutcome run_program(const std::string& program, const std::vector<std::string>& arguments,
                           std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    ProgramOutcome outcome;
    std::array<int, 2> pipe_ends{};
    if (::pipe2(pipe_ends.data(), O_CLOEXEC) != 0) {
        return outcome;
    }
    const pid_t child = spawn(program, arguments, pipe_ends[1]);
    ::close(pipe_ends[1]);
    int output_end = pipe_ends[0];
    if (child < 0) {
        ::close(output_end);
        return outcome;
    }
    const auto deadline = Clock::now() + limit;
    int status = 0;
    bool ended = false;
    while (!ended && Clock::now() < deadline) {
        if (output_end < 0) {
            // The output is closed; the program may still be winding up.
            ended = ::waitpid(child, &status, WNOHANG) == child;
            if (!ended) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            continue;
        }
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd ready{output_end, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(remaining.count())) <= 0) {
            continue;
        }
        std::array<char, 4096> buffer{};
        const ssize_t count =
            retry_if_interrupted([&] { return ::read(output_end, buffer.data(), buffer.size()); });
        if (count > 0) {
            outcome.output.append(buffer.data(), static_cast<size_t>(count));
        } else {
            ::close(output_end);
            output_end = -1;
        }
    }
    if (output_end >= 0) {
        ::close(output_end);
    }
    if (!ended) {
        ::kill(child, SIGKILL);
        retry_if_interrupted([&] { return ::waitpid(child, &status, 0); });
    } else if (WIFEXITED(status)) {
        outcome.exit_status = WEXITSTATUS(status);
    }
    return outcome;
}

bool standard_output_is_terminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace ferrolo::platform
