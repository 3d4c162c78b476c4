#include "platform/clock.h"

#include <windows.h>

#include <cstdint>

namespace ferrolo::platform {

namespace {

// 100-nanosecond ticks between 1601-01-01, where FILETIME counts from, and 1970-01-01.
constexpr int64_t kUnixEpochTicks = 116444736000000000;

FILETIME to_file_time(std::chrono::system_clock::time_point moment) {
    const auto ticks = std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10000000>>>(
                           moment.time_since_epoch())
                           .count() +
                       kUnixEpochTicks;
    const auto bits = static_cast<uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

// The local time and the UTC time of `moment`, both by the system's time-zone rules for that date.
bool local_and_utc(std::chrono::system_clock::time_point moment, SYSTEMTIME& local, SYSTEMTIME& utc) {
    const FILETIME universal = to_file_time(moment);
    return ::FileTimeToSystemTime(&universal, &utc) != 0 &&
           ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) != 0;
}

}  // namespace

LocalTime to_local_time(std::chrono::system_clock::time_point moment) {
    SYSTEMTIME local{};
    SYSTEMTIME utc{};
    if (!local_and_utc(moment, local, utc)) {
        return {};
    }
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

LocalTime local_now() {
    return to_local_time(std::chrono::system_clock::now());
}

int utc_offset_minutes(std::chrono::system_clock::time_point moment) {
    SYSTEMTIME local{};
    SYSTEMTIME utc{};
    FILETIME local_ticks{};
    FILETIME utc_ticks{};
    if (!local_and_utc(moment, local, utc) || ::SystemTimeToFileTime(&local, &local_ticks) == 0 ||
        ::SystemTimeToFileTime(&utc, &utc_ticks) == 0) {
        return 0;
    }
    const auto value = [](const FILETIME& time) {
        return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    return static_cast<int>((value(local_ticks) - value(utc_ticks)) / 600000000);
}

}  // namespace ferrolo::platform
