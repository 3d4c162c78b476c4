// platform/file_length.h — cutting a file back to a known length.
#pragma once

#include <cstdint>
#include <string>

namespace ferrolo::platform {

// Sets the length of the file `path` to `length` bytes, cutting off what lies beyond (or adding zeros);
// open handles keep their position. Throws SystemError on failure.
void set_file_length(const std::string& path, uint64_t length);

}  // namespace ferrolo::platform
