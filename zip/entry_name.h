// zip/entry_name.h — from a source path to the name stored in the archive, and back for display.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferrolo::zip {

enum class TZipStorePathMode;

// `path` made absolute against `base_folder` (itself absolute) with "." and ".." resolved and repeated
// separators collapsed; a trailing separator is kept.
std::string absolute_path(std::string_view path, std::string_view base_folder);

// The stored name (with "/" between folders, "/" at the end of a folder entry, never a leading "/") of
// the absolute source `path` under `mode`; nullopt when nothing would be left. Every mode but
// spFullPathWithDrive drops the drive part ("C:", "\\srv\"); POSIX has none, so there the full path
// with or without drive is the same name.
std::optional<std::string> stored_name_of(std::string_view path, bool is_folder, TZipStorePathMode mode,
                                          std::string_view base_folder);

// The bytes written for `name` (UTF-8) and whether they are UTF-8 (general-purpose bit 11).
struct EncodedName {
    std::string bytes;
    bool utf8 = false;
};

// With `oem_file_names`, code page 850 when every character has a place there, else UTF-8 (bit 11).
// Without, the name as it is, marked UTF-8 when it holds valid non-ASCII UTF-8. A name that is not
// valid UTF-8 is written as its bytes, unmarked.
EncodedName encode_entry_name(std::string_view name, bool oem_file_names);
// The stored `bytes` in UTF-8: as they are when marked UTF-8, else read as code page 850.
std::string decode_entry_name(std::string_view bytes, bool utf8);

}  // namespace ferrolo::zip
