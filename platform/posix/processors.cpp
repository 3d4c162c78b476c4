#include "platform/processors.h"

#include <sched.h>

#include <thread>

namespace ferrolo::platform {

size_t usable_processor_count() {
    // std::thread::hardware_concurrency counts the processors online, not those the affinity mask leaves.
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof(allowed), &allowed) == 0) {
        const int count = CPU_COUNT(&allowed);
        if (count > 0) {
            return static_cast<size_t>(count);
        }
    }
    const unsigned online = std::thread::hardware_concurrency();
    return online > 0 ? online : 1;
}

}  // namespace ferrolo::platform
