#include "platform/desktop.h"

#include <windows.h>

namespace ferrolo::platform {

bool desktop_available() {
    USEROBJECTFLAGS flags{};
    return GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace ferrolo::platform
