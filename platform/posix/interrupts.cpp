#include "platform/interrupts.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <ctime>

namespace ferrolo::platform {

// The signals are blocked and collected with sigtimedwait, so no handler and no global flag is needed.
struct InterruptWatcher::State {
    sigset_t watched;
    sigset_t previous;
    struct sigaction previous_pipe_action;
};

InterruptWatcher::InterruptWatcher() : state_(std::make_unique<State>()) {
    sigemptyset(&state_->watched);
    sigaddset(&state_->watched, SIGINT);
    sigaddset(&state_->watched, SIGTERM);
    sigaddset(&state_->watched, SIGHUP);
    ::pthread_sigmask(SIG_BLOCK, &state_->watched, &state_->previous);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &state_->previous_pipe_action);
}

InterruptWatcher::~InterruptWatcher() {
    ::sigaction(SIGPIPE, &state_->previous_pipe_action, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
}

std::optional<Interrupt> InterruptWatcher::wait(std::chrono::milliseconds timeout) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
    const timespec limit{static_cast<time_t>(seconds.count()),
                         static_cast<long>(std::chrono::nanoseconds(timeout - seconds).count())};
    const int received = ::sigtimedwait(&state_->watched, nullptr, &limit);
    if (received == SIGINT) {
        return Interrupt::Cancel;
    }
    if (received == SIGTERM || received == SIGHUP) {
        return Interrupt::Close;
    }
    return std::nullopt;
}

}  // namespace ferrolo::platform
