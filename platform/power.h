// platform/power.h — switching the computer off.
#pragma once

namespace ferrolo::platform {

// Asks the system to power off now, without waiting for other programs (EWX_POWEROFF | EWX_FORCE, 12,
// on Windows); true when the request was accepted. Any privilege the request needs is handled here.
bool Shutdown_System();

}  // namespace ferrolo::platform
