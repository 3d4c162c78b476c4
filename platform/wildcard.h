// platform/wildcard.h — file-name masks with the Windows directory-search rules.
#pragma once

#include <string_view>

namespace ferrolo::platform {

// True when `name` matches `pattern` as a Windows directory search matches it: "*" any run, "?" one
// character (or none before a dot or the end), "*.*" every name (with or without a dot), "*." names
// without a dot, "x.*" also "x". Case-sensitive unless told otherwise, as POSIX file systems are.
enum class LetterCase { Sensitive, Insensitive };
bool matches_file_mask(std::string_view name, std::string_view pattern,
                       LetterCase letter_case = LetterCase::Sensitive);

// True when `text` holds "*" or "?".
bool has_wildcards(std::string_view text);

}  // namespace ferrolo::platform
