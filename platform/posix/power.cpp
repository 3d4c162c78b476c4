#include "platform/power.h"

#include "platform/posix/run_program.h"

namespace ferrolo::platform {

namespace {
// systemctl hands the request to systemd and returns; it has no reason to take long.
constexpr std::chrono::seconds kRequestLimit{30};
}  // namespace

// systemd stops the other programs itself; whether the account may power off is systemd's and polkit's
// to decide.
bool Shutdown_System() {
    const std::optional<std::string> systemctl = find_program("systemctl");
    return systemctl && run_program(*systemctl, {"poweroff"}, kRequestLimit).exit_status == 0;
}

}  // namespace ferrolo::platform
