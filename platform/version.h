// platform/version.h — the file version stamped into program files at build time.
#pragma once

#include <string>

namespace ferrolo::platform {

// The "FileVersion" text stamped into the program file `path` ("1.0.0.0"); empty when the file has
// none, cannot be read or is no program file of this platform.
std::string file_version(const std::string& path);

}  // namespace ferrolo::platform
