#include "zip/dos_time.h"

namespace ferrolo::zip {

DosDateTime to_dos_date_time(const platform::LocalTime& local) {
    platform::LocalTime clamped = local;
    if (local.year < 1980) {
        clamped = {1980, 1, 1, 0, 0, 0};
    } else if (local.year > 2107) {
        clamped = {2107, 12, 31, 23, 59, 58};
    }
    DosDateTime fields;
    fields.time = static_cast<uint16_t>(clamped.hour << 11 | clamped.minute << 5 | clamped.second / 2);
    fields.date = static_cast<uint16_t>((clamped.year - 1980) << 9 | clamped.month << 5 | clamped.day);
    return fields;
}

}  // namespace ferrolo::zip
