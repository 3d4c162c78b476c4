#include "platform/path_limit.h"

namespace ferrolo::platform {

// The layer gives longer paths the "\\?\" form, which the wide file calls take up to this length.
size_t path_length_limit() {
    return 32767;
}

}  // namespace ferrolo::platform
