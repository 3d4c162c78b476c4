#include "platform/processors.h"

#include <windows.h>

#include <bit>

namespace ferrolo::platform {

// The processors of the process's affinity mask (its processor group, which is all a process starts with).
size_t usable_processor_count() {
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    if (::GetProcessAffinityMask(::GetCurrentProcess(), &process_mask, &system_mask) != 0 &&
        process_mask != 0) {
        return static_cast<size_t>(std::popcount(static_cast<unsigned long long>(process_mask)));
    }
    return 1;
}

}  // namespace ferrolo::platform
