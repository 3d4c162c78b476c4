// Windows calls a console handler on a thread of its own and passes it nothing but the event. So that no
// global carries the watcher to it, each kind of request is a semaphore named after this process: the
// handler counts the request up there and the watcher counts it down.
#include "platform/interrupts.h"

#include <windows.h>

#include <array>
#include <string>

namespace ferrolo::platform {

namespace {

// The semaphores in the order a wait gives them priority: an end request before a cancel.
constexpr std::array<Interrupt, 2> kInterrupts = {Interrupt::Close, Interrupt::Cancel};

std::wstring semaphore_name(Interrupt interrupt) {
    return L"Local\\Ferrolo." + std::to_wstring(::GetCurrentProcessId()) +
           (interrupt == Interrupt::Cancel ? L".Cancel" : L".Close");
}

BOOL WINAPI on_console_event(DWORD event) {
    const Interrupt interrupt = event == CTRL_C_EVENT ? Interrupt::Cancel : Interrupt::Close;
    const HANDLE semaphore =
        ::OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, semaphore_name(interrupt).c_str());
    if (semaphore == nullptr) {
        return FALSE;  // no watcher any more: the system's default, which ends the process
    }
    ::ReleaseSemaphore(semaphore, 1, nullptr);
    ::CloseHandle(semaphore);
    // The process ends as soon as this handler returns from a close, log-off or shut-down event, so it holds
    // on while the program closes; the system's own time limit still applies.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::Sleep(INFINITE);
    }
    return TRUE;
}

}  // namespace

struct InterruptWatcher::State {
    std::array<HANDLE, kInterrupts.size()> semaphores{};
};

InterruptWatcher::InterruptWatcher() : state_(std::make_unique<State>()) {
    for (size_t index = 0; index < kInterrupts.size(); ++index) {
        state_->semaphores[index] =
            ::CreateSemaphoreW(nullptr, 0, LONG_MAX, semaphore_name(kInterrupts[index]).c_str());
    }
    ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

InterruptWatcher::~InterruptWatcher() {
    ::SetConsoleCtrlHandler(on_console_event, FALSE);
    for (const HANDLE semaphore : state_->semaphores) {
        if (semaphore != nullptr) {
            ::CloseHandle(semaphore);
        }
    }
}

std::optional<Interrupt> InterruptWatcher::wait(std::chrono::milliseconds timeout) {
    const auto milliseconds =
        static_cast<DWORD>(std::max<std::chrono::milliseconds::rep>(timeout.count(), 0));
    const DWORD signalled = ::WaitForMultipleObjects(static_cast<DWORD>(state_->semaphores.size()),
                                                     state_->semaphores.data(), FALSE, milliseconds);
    if (signalled == WAIT_FAILED) {
        ::Sleep(milliseconds);  // a semaphore could not be made: requests cannot arrive, but the wait is kept
    }
    if (signalled >= WAIT_OBJECT_0 && signalled < WAIT_OBJECT_0 + kInterrupts.size()) {
        return kInterrupts[signalled - WAIT_OBJECT_0];
    }
    return std::nullopt;
}

}  // namespace ferrolo::platform
