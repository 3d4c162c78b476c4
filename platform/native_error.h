// platform/native_error.h — the system's own words for its error numbers, one implementation per platform.
#pragma once

#include <string>

namespace ferrolo::platform {

// The system's message for `error_number` (errno on POSIX, GetLastError on Windows).
std::string native_error_text(int error_number);
// True when `error_number` says the device or the user's quota is full.
bool native_error_is_disk_full(int error_number);

}  // namespace ferrolo::platform
