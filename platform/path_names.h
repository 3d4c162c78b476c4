// platform/path_names.h — how this platform spells paths: separators, the drive part, the letter case of
// names and the names of split volumes. Everything outside platform/ asks here instead of assuming.
#pragma once

#include <string>
#include <string_view>

#include "platform/wildcard.h"

namespace ferrolo::platform {

#ifdef _WIN32
// "\" between folders; "/" is read as one too, as the system reads it.
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kPathSeparators = "\\/";
// File names are the same whatever their letter case, as on NTFS and FAT.
inline constexpr LetterCase kFileNameCase = LetterCase::Insensitive;
// Split volumes are named lun.Z01, lun.Z02…, as Windows archivers name them.
inline constexpr char kVolumeLetter = 'Z';
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kPathSeparators = "/";
inline constexpr LetterCase kFileNameCase = LetterCase::Sensitive;
// In lower case (lun.z01), so that Linux peers (7-Zip, Info-ZIP) find the volumes of a set as it lies.
inline constexpr char kVolumeLetter = 'z';
#endif

constexpr bool is_path_separator(char c) {
    return kPathSeparators.find(c) != std::string_view::npos;
}

// Folder part of `path` up to and including its last separator (or its drive part); empty when there is
// none.
std::string_view folder_part(std::string_view path);
// File-name part of `path` after its folder part.
std::string_view name_part(std::string_view path);

// True when `path` ends with a separator.
bool ends_with_separator(std::string_view path);

// The drive part of `path`, which stored names drop: up to and including the first ":" ("C:"), or for a
// UNC path the two leading separators, the server name and the separator after it ("\\srv\"). POSIX has
// no drive part: its root "/" is a separator, dropped as the one right after a drive part is.
std::string_view drive_part(std::string_view path);

// True when `path` does not depend on the current folder.
bool is_absolute_path(std::string_view path);

// True when `a` and `b` name the same path, letter case aside where the file system ignores it.
bool same_path(std::string_view a, std::string_view b);

// The current folder, without a trailing separator (but "/" or "C:\" for a root).
std::string current_folder();

}  // namespace ferrolo::platform
