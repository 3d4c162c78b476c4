// platform/file_system.h — directory search, attributes and whole-file operations.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path_names.h"
#include "platform/wildcard.h"

namespace ferrolo::platform {

using FileTime = std::chrono::system_clock::time_point;

// Windows file attribute bits, derived on POSIX from the file's type, mode and name.
namespace attribute {
inline constexpr uint32_t kReadOnly = 0x01;
inline constexpr uint32_t kHidden = 0x02;
inline constexpr uint32_t kSystem = 0x04;
inline constexpr uint32_t kVolumeLabel = 0x08;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kNormal = 0x80;
}  // namespace attribute

// One name found by a directory search. Only regular files and real folders are ever returned.
struct DirEntry {
    std::string name;         // the name alone, no folder part
    uint32_t attributes = 0;  // derived Windows attributes (kDirectory for folders)
    uint64_t size = 0;        // bytes; 0 for folders
    FileTime last_write{};

    bool is_folder() const { return (attributes & attribute::kDirectory) != 0; }
};

// Entries of `folder` ("" means the current folder) whose names match `pattern` under Windows wildcard
// rules, sorted by name. Symbolic links to files are followed; links to folders, dangling links, sockets,
// FIFOs and devices are left out. A missing folder gives no entries; any other failure throws SystemError.
std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern,
                                 LetterCase letter_case = LetterCase::Sensitive);
// The same, adding to `unexamined` the matching names that could be listed but not examined (the folder
// may be read but not searched, or the entry vanished meanwhile); dangling links are not among them.
std::vector<DirEntry> find_files(const std::string& folder, std::string_view pattern, LetterCase letter_case,
                                 std::vector<std::string>& unexamined);

// The entry `path` names (a regular file or a real folder, links to files followed); nullopt when there is
// none or it is of another kind.
std::optional<DirEntry> path_entry(const std::string& path);

// True when `path` names a regular file (or a link to one); a folder is not a file.
bool file_exists(const std::string& path);
// True when `path` names a folder.
bool folder_exists(const std::string& path);

// True when `path` can be opened for reading and writing with no other process holding a lock on it.
bool can_open_exclusively(const std::string& path);

// Free bytes available to this process on the file system holding `path` (or, when `path` does not
// exist yet, its folder); throws SystemError on failure.
uint64_t free_space(const std::string& path);

// Deletes one file; false when it could not be deleted (missing included).
bool remove_file(const std::string& path) noexcept;
// Renames `from` to `to`, replacing `to`; throws SystemError on failure.
void rename_file(const std::string& from, const std::string& to);

// The folder for temporary files (TMPDIR, else /tmp; on Windows the system's), with a trailing separator.
std::string temporary_folder();

}  // namespace ferrolo::platform
