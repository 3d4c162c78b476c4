#include "platform/power.h"

#include <windows.h>

namespace ferrolo::platform {

namespace {

// The power-off request needs the shut-down privilege, which an account may hold but has disabled; when it
// cannot be enabled the request is made anyway and the system answers it.
void enable_shutdown_privilege() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
        ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    ::CloseHandle(token);
}

}  // namespace

bool Shutdown_System() {
    enable_shutdown_privilege();
    return ::ExitWindowsEx(EWX_POWEROFF | EWX_FORCE, 0) != 0;
}

}  // namespace ferrolo::platform
