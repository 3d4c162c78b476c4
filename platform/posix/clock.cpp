#include "platform/clock.h"

#include <ctime>

namespace ferrolo::platform {

LocalTime to_local_time(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

LocalTime local_now() {
    return to_local_time(std::chrono::system_clock::now());
}

int utc_offset_minutes(std::chrono::system_clock::time_point moment) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    std::tm parts{};
    ::localtime_r(&seconds, &parts);
    return static_cast<int>(parts.tm_gmtoff / 60);
}

}  // namespace ferrolo::platform
