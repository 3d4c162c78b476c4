#include "platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/posix/interrupted.h"
#include "platform/system_error.h"

namespace ferrolo::platform {

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

bool standard_output_is_terminal() {
    return ::isatty(STDOUT_FILENO) == 1;
}

}  // namespace ferrolo::platform
