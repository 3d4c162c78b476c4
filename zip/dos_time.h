// zip/dos_time.h — MS-DOS date and time fields of the entry headers.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace ferrolo::zip {

struct DosDateTime {
    uint16_t time = 0;  // hours << 11 | minutes << 5 | seconds / 2
    uint16_t date = 0;  // (year - 1980) << 9 | month << 5 | day
};

// `local` in DOS fields; a time before 1980 becomes 1980-01-01 00:00:00, one after 2107 becomes
// 2107-12-31 23:59:58, the range the fields can hold.
DosDateTime to_dos_date_time(const platform::LocalTime& local);

}  // namespace ferrolo::zip
