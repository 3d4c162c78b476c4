// platform/processors.h — how many processors this process may run on.
#pragma once

#include <cstddef>

namespace ferrolo::platform {

// The processors the process's affinity mask allows (so `taskset -c 0` gives 1); at least 1.
size_t usable_processor_count();

}  // namespace ferrolo::platform
