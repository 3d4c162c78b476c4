#include "platform/win32/wide.h"

#include <windows.h>

#include <algorithm>

namespace ferrolo::platform::win32 {

std::wstring to_wide(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    std::wstring wide(static_cast<size_t>(::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0)),
                      L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

std::string to_utf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    std::string narrow(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0,
                                                                 nullptr, nullptr)),
                       '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), static_cast<int>(narrow.size()),
                          nullptr, nullptr);
    return narrow;
}

std::wstring file_call_path(std::string_view path) {
    std::wstring wide = to_wide(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    if (wide.size() < MAX_PATH || wide.starts_with(L"\\\\?\\")) {
        return wide;
    }
    if (wide.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + wide.substr(2);
    }
    const bool drive_path = wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\';
    if (drive_path) {
        return L"\\\\?\\" + wide;
    }
    // A relative path is made full first: the "\\?\" form takes no relative part.
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return wide;
    }
    full.resize(length);
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

}  // namespace ferrolo::platform::win32
