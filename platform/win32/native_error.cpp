#include "platform/native_error.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace ferrolo::platform {

// In English whatever the system's language, so that logs and tests read the same everywhere.
std::string native_error_text(int error_number) {
    wchar_t* message = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error_number), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
        reinterpret_cast<wchar_t*>(&message), 0, nullptr);
    std::wstring text(message, length);
    ::LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(error_number) : win32::to_utf8(text);
}

bool native_error_is_disk_full(int error_number) {
    // ERROR_DISK_QUOTA_EXCEEDED, which mingw's headers lack.
    constexpr int kDiskQuotaExceeded = 1295;
    return error_number == ERROR_DISK_FULL || error_number == ERROR_HANDLE_DISK_FULL ||
           error_number == kDiskQuotaExceeded;
}

}  // namespace ferrolo::platform
