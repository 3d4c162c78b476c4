#include "platform/version.h"

#include <windows.h>

#include <vector>

#include "platform/win32/wide.h"

namespace ferrolo::platform {

// The "FileVersion" text of the version resource, in the first language the file lists.
std::string file_version(const std::string& path) {
    const std::wstring file = win32::file_call_path(path);
    DWORD unused = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &unused);
    if (size == 0) {
        return {};
    }
    std::vector<std::byte> resource(size);
    struct Translation {
        WORD language;
        WORD code_page;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (::GetFileVersionInfoW(file.c_str(), 0, size, resource.data()) == 0 ||
        ::VerQueryValueW(resource.data(), L"\\VarFileInfo\\Translation",
                         reinterpret_cast<void**>(&translations), &length) == 0 ||
        length < sizeof(Translation)) {
        return {};
    }
    wchar_t key[64];
    ::swprintf(key, 64, L"\\StringFileInfo\\%04X%04X\\FileVersion", translations->language,
               translations->code_page);
    wchar_t* text = nullptr;
    if (::VerQueryValueW(resource.data(), key, reinterpret_cast<void**>(&text), &length) == 0 ||
        length == 0) {
        return {};
    }
    return win32::to_utf8(std::wstring_view(text, wcsnlen(text, length)));
}

}  // namespace ferrolo::platform
