// platform/clock.h — the wall clock in local time.
#pragma once

#include <chrono>

namespace ferrolo::platform {

// A local date and time, each field as people write it (month 1-12, day 1-31, 24-hour clock).
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Local time of `moment` in the machine's time zone.
LocalTime to_local_time(std::chrono::system_clock::time_point moment);
// The local time now.
LocalTime local_now();
// How far local time is ahead of UTC at `moment`, in minutes (negative west of Greenwich).
int utc_offset_minutes(std::chrono::system_clock::time_point moment);

}  // namespace ferrolo::platform
