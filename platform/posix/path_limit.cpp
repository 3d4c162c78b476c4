#include "platform/path_limit.h"

#include <climits>

namespace ferrolo::platform {

size_t path_length_limit() {
    return PATH_MAX;
}

}  // namespace ferrolo::platform
