// platform/desktop.h — whether a user can see this process's windows.
#pragma once

namespace ferrolo::platform {

// True when this process may show windows to a user: a display is named on POSIX (DISPLAY), the window
// station is the interactive one on Windows (not a service's or a scheduled task's hidden station).
bool desktop_available();

}  // namespace ferrolo::platform
