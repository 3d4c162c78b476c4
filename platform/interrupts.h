// platform/interrupts.h — the user's requests to stop, as every front end receives them.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

namespace ferrolo::platform {

enum class Interrupt {
    Cancel,  // Ctrl+C (SIGINT)
    Close,   // a request to end the program (SIGTERM), or its terminal gone (SIGHUP)
};

// While it lives, Ctrl+C and termination requests are held for this object instead of killing the
// process, and a closed pipe ends no process either: a write to it just fails. Create it on the main
// thread before any other thread starts.
class InterruptWatcher {
public:
    InterruptWatcher();
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // The next request, waiting at most `timeout` (zero: only what is already pending).
    std::optional<Interrupt> wait(std::chrono::milliseconds timeout);

private:
    struct State;
    std::unique_ptr<State> state_;  // the signal mask to restore
};

}  // namespace ferrolo::platform
