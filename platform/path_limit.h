// platform/path_limit.h — the longest path the file calls of this platform accept.
#pragma once

#include <cstddef>

namespace ferrolo::platform {

// Paths of this many bytes or more cannot be opened (PATH_MAX on POSIX; on Windows the limit of the
// "\\?\" form the layer gives long paths).
size_t path_length_limit();

}  // namespace ferrolo::platform
