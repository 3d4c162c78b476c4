// platform/posix/interrupted.h — the one place where a system call interrupted by a signal is retried.
#pragma once

#include <cerrno>

namespace ferrolo::platform {

// Calls `system_call` until it does not fail with EINTR, and returns its result; errno is left as the
// last call set it.
template <typename SystemCall>
auto retry_if_interrupted(SystemCall&& system_call) {
    for (;;) {
        const auto result = system_call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

}  // namespace ferrolo::platform
