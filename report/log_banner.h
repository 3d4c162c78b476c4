// report/log_banner.h — a new log file: the six lines that open it.
#pragma once

#include <string>

namespace ferrolo::report {

// Creates `path`, or empties it, and writes the banner: an empty line, a row of asterisks, the creation
// date and time, the row again and two empty lines. Throws platform::SystemError on failure.
void create_log_file(const std::string& path);

}  // namespace ferrolo::report
