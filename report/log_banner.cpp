#include "report/log_banner.h"

#include "core/routines.h"

namespace ferrolo::report {

std::array<std::string, 6> log_banner() {
    const std::string stars = std::string(13, ' ') + std::string(57, '*');
    const std::string created = "             *** File di Log creato in data: " + core::Date_Today() + " - " +
                                core::Time_Now() + " ***";
    return {"", stars, created, stars, "", ""};
}

}  // namespace ferrolo::report
