#include "platform/path_names.h"

#include <windows.h>

#include "platform/system_error.h"
#include "platform/win32/wide.h"

namespace ferrolo::platform {

std::string_view drive_part(std::string_view path) {
    const bool letter = path.size() >= 2 && path[1] == ':' &&
                        ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    if (letter) {
        return path.substr(0, 2);
    }
    if (path.size() > 2 && is_path_separator(path[0]) && is_path_separator(path[1])) {
        const size_t server_end = path.find_first_of(kPathSeparators, 2);
        return server_end == std::string_view::npos ? path : path.substr(0, server_end + 1);
    }
    return {};
}

bool is_absolute_path(std::string_view path) {
    const std::string_view drive = drive_part(path);
    return drive.size() > 2 || (drive.size() == 2 && path.size() > 2 && is_path_separator(path[2]));
}

// Compared as NTFS compares names: by the system's upper-case form, code unit by code unit.
bool same_path(std::string_view a, std::string_view b) {
    const std::wstring first = win32::to_wide(a);
    const std::wstring second = win32::to_wide(b);
    return ::CompareStringOrdinal(first.c_str(), static_cast<int>(first.size()), second.c_str(),
                                  static_cast<int>(second.size()), TRUE) == CSTR_EQUAL;
}

std::string current_folder() {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(needed, L'\0');
    const DWORD length = ::GetCurrentDirectoryW(needed, folder.data());
    if (length == 0 || length >= needed) {
        throw SystemError("find current folder", "", static_cast<int>(::GetLastError()));
    }
    folder.resize(length);
    return win32::to_utf8(folder);
}

}  // namespace ferrolo::platform
