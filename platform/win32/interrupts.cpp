#include "platform/interrupts.h"

// Placeholder until the console control handler lands: no request ever arrives.
namespace ferrolo::platform {

struct InterruptWatcher::State {};

InterruptWatcher::InterruptWatcher() : state_(std::make_unique<State>()) {}

InterruptWatcher::~InterruptWatcher() = default;

std::optional<Interrupt> InterruptWatcher::wait(std::chrono::milliseconds) {
    return std::nullopt;
}

}  // namespace ferrolo::platform
