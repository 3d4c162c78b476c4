#include "platform/win32/wide.h"

#include <windows.h>

#include <algorithm>

namespace ferrolo::platform::win32 {

namespace {

std::wstring decode(std::string_view text, UINT code_page) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    std::wstring wide(
        static_cast<size_t>(::MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0)), L'\0');
    ::MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), static_cast<int>(wide.size()));
    return wide;
}

// UTF-8 takes neither a replacement character nor flags: every character has its place there.
std::string encode(std::wstring_view text, UINT code_page) {
    if (text.empty()) {
        return {};
    }
    const bool utf8 = code_page == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* replacement = utf8 ? nullptr : "?";
    const int length = static_cast<int>(text.size());
    std::string narrow(static_cast<size_t>(::WideCharToMultiByte(code_page, flags, text.data(), length,
                                                                 nullptr, 0, replacement, nullptr)),
                       '\0');
    ::WideCharToMultiByte(code_page, flags, text.data(), length, narrow.data(),
                          static_cast<int>(narrow.size()), replacement, nullptr);
    return narrow;
}

}  // namespace

std::wstring to_wide(std::string_view text) {
    return decode(text, CP_UTF8);
}

std::string to_utf8(std::wstring_view text) {
    return encode(text, CP_UTF8);
}

std::wstring ansi_to_wide(std::string_view text) {
    return decode(text, ::GetACP());
}

std::string wide_to_ansi(std::wstring_view text) {
    return encode(text, ::GetACP());
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
