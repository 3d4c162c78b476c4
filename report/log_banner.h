// report/log_banner.h — the six lines that open a new log file.
#pragma once

#include <array>
#include <string>

namespace ferrolo::report {

// An empty line, a row of asterisks, the creation date and time, the row again and two empty lines.
std::array<std::string, 6> log_banner();

}  // namespace ferrolo::report
