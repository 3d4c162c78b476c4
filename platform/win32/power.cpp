#include "platform/power.h"

// Placeholder until ExitWindowsEx lands: the request is never accepted.
namespace ferrolo::platform {

bool Shutdown_System() {
    return false;
}

}  // namespace ferrolo::platform
