// report/file_utilities.h — sizes, versions, dates and locks of files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace ferrolo::report {

// Summed size in bytes of every file and folder `mask` matches (0 when none); -1 when the search fails.
int64_t TotalFilesSize(const std::string& mask);

// The version stamped into the program file `file_name`; empty for any other file or on any error.
std::string GetFileVersion(const std::string& file_name);

// Last-write time of `file_name`; nullopt when it does not exist or cannot be read.
std::optional<platform::FileTime> GetFileDateTime(const std::string& file_name);

// True when the existing file cannot be opened for reading and writing with nobody else holding it;
// false for a missing file.
bool IsFileLocked(const std::string& file_name);

}  // namespace ferrolo::report
