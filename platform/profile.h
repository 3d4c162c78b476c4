// platform/profile.h — Windows profile (INI) files, read as the platform's profile-string reader reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ferrolo::platform {

// One job file, read once and indexed. load() reads the file in the system's code page (UTF-8 on POSIX,
// the ANSI code page on Windows) unless it starts with a UTF-8 byte order mark, and any content gives
// defined values:
// - A line ends at CR LF, at LF alone or at CR alone; the last line needs no line end.
// - A UTF-8 byte order mark at the start of the file is skipped.
// - A NUL byte ends its line's text, as a C string would: the rest of that line is ignored.
// - Blanks (spaces and tabs) at the start of a line are ignored. A line then beginning with ";" is a
//   comment; one beginning with "[" opens the section named up to the first "]" (to the line end when
//   there is none), blanks around the name removed. Lines before the first section belong to none.
// - Any other line is "key=value": the key is the text before the first "=", the value the text after it,
//   each with the blanks around it removed; a value enclosed in one pair of the same quotes (' or ")
//   loses that pair, and is then cut to 2047 bytes. A line without "=", or with an empty key, defines
//   nothing.
// - The first occurrence of a key in a section wins, also across sections of the same name.
class ProfileFile {
public:
    // The longest value delivered; the platform's reader fills a buffer of 2048 characters.
    static constexpr size_t kLongestValue = 2047;

    // Reads `path`; throws SystemError when it cannot be read.
    static ProfileFile load(const std::string& path);
    // Indexes `content`, the bytes of a profile file.
    static ProfileFile parse(std::string_view content);

    // The value of `key` in `section`, both matched without regard to letter case; nullopt when missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

private:
    using Section = std::unordered_map<std::string, std::string>;  // upper-cased (ASCII) key → value

    // By upper-cased section name. A section's name is stored once, however many keys it holds, so that
    // reading stays linear in the size of the file even for a huge name.
    std::unordered_map<std::string, Section> sections_;
};

}  // namespace ferrolo::platform
