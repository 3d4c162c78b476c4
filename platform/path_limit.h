// platform/path_limit.h — the longest path the file calls of this platform accept.
#pragma once

#include <cstddef>

namespace ferrolo::platform {

// Paths of this many bytes or more cannot be opened (PATH_MAX on POSIX, MAX_PATH on Windows).
size_t path_length_limit();

}  // namespace ferrolo::platform
