// platform/profile.h — Windows profile (INI) files, read as the platform's profile-string reader reads them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ferrolo::platform {

// One job file, read once and indexed.
class ProfileFile {
public:
    // Reads `path`; throws SystemError when it cannot be read.
    static ProfileFile load(const std::string& path);

    // The value of `key` in `section`, both matched without regard to letter case; nullopt when missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
};

}  // namespace ferrolo::platform
