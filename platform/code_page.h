// platform/code_page.h — the 8-bit code pages of the Windows formats Ferrolo writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferrolo::platform {

// `c` with a to z in upper case, other bytes unchanged: the letter case of names and keywords, which are
// ASCII in every code page here.
constexpr char upper_ascii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
std::string upper_ascii(std::string_view text);

// True when `text` is valid, shortest-form UTF-8.
bool is_valid_utf8(std::string_view text);
// Bytes of the character at `text[pos]`: its UTF-8 length when valid, else 1, as every byte of invalid
// UTF-8 counts as one character (and becomes one "?" in Windows-1252).
size_t utf8_character_size(std::string_view text, size_t pos);

// `text` (UTF-8) in OEM code page 850; nullopt when it is not valid UTF-8 or a character has no place there.
std::optional<std::string> utf8_to_cp850(std::string_view text);
// `text` (code page 850) in UTF-8.
std::string cp850_to_utf8(std::string_view text);

// `text` (UTF-8, as Ferrolo keeps text) in the system's 8-bit code page of text files, which job files and
// logs are written in: unchanged on POSIX, whose code page is UTF-8; on Windows the ANSI code page, a
// character outside it written as "?".
std::string to_system_code_page(std::string_view text);
// `text` (the system's 8-bit code page) in UTF-8.
std::string from_system_code_page(std::string_view text);

// `text` (UTF-8) in Windows-1252; a character outside it, or a byte that is not valid UTF-8, becomes "?".
std::string utf8_to_cp1252(std::string_view text);
// `text` (Windows-1252) in UTF-8; the five unassigned bytes become the C1 controls of the same number.
std::string cp1252_to_utf8(std::string_view text);

}  // namespace ferrolo::platform
