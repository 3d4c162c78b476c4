// platform/win32/wide.h — the layer's text inside: UTF-16 for every Win32 call, UTF-8 outside it.
#pragma once

#include <string>
#include <string_view>

namespace ferrolo::platform::win32 {

// `text` (UTF-8) in UTF-16; a byte that is not valid UTF-8 becomes U+FFFD.
std::wstring to_wide(std::string_view text);
// `text` (UTF-16) in UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(std::wstring_view text);

// `text` (the ANSI code page) in UTF-16.
std::wstring ansi_to_wide(std::string_view text);
// `text` (UTF-16) in the ANSI code page, a character outside it written as "?" (no look-alike letters).
std::string wide_to_ansi(std::wstring_view text);

// `path` as the wide file calls take it: "/" turned into "\", and a path that reaches the classic limit
// given the "\\?\" form (or "\\?\UNC\" for a share), which lifts the limit.
std::wstring file_call_path(std::string_view path);

}  // namespace ferrolo::platform::win32
