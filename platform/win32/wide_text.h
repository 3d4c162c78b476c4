// platform/win32/wide_text.h — the layer's texts as the wide Win32 calls take them.
#pragma once

#include <string>
#include <string_view>

namespace ferrolo::platform {

// `text` (UTF-8, as the layer's callers hold names) in UTF-16 for the wide Win32 calls.
std::wstring to_wide(std::string_view text);
// `text` (UTF-16, from a wide Win32 call) in UTF-8.
std::string from_wide(std::wstring_view text);

}  // namespace ferrolo::platform
