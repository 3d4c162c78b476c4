// tests/support/small_drive.h — a tmpfs of a fixed size on a fresh folder, for runs that fill a drive.
#pragma once

#include <string>

#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

class SmallDrive {
public:
    // Mounts a tmpfs of `size` ("64k", as mount's size option); mounting needs root, see mounted().
    explicit SmallDrive(const std::string& size);
    // Unmounts, however the test ended, before the folder under it is removed.
    ~SmallDrive();
    SmallDrive(const SmallDrive&) = delete;
    SmallDrive& operator=(const SmallDrive&) = delete;

    bool mounted() const { return mounted_; }
    // The mounted folder, with a trailing "/".
    const std::string& path() const { return path_; }

private:
    TempFolder under_;
    std::string path_;
    bool mounted_ = false;
};

}  // namespace ferrolo::testing
