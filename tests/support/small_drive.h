// tests/support/small_drive.h — a tmpfs of a fixed size on a fresh folder, for runs that fill a drive.
#pragma once

#include <sys/mount.h>

#include <string>

#include "tests/support/temp_folder.h"

namespace ferrolo::testing {

class SmallDrive {
public:
    // Mounts a tmpfs of `size` ("64k", as mount's size option); mounting needs root, see mounted().
    explicit SmallDrive(const std::string& size)
        : mounted_(::mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0) {}
    // Unmounts, however the test ended, before the folder under it is removed; lazily, so that a file the
    // test left open cannot keep the drive mounted.
    ~SmallDrive() {
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        }
    }
    SmallDrive(const SmallDrive&) = delete;
    SmallDrive& operator=(const SmallDrive&) = delete;

    bool mounted() const { return mounted_; }
    // The mounted folder, with a trailing "/".
    const std::string& path() const { return path_; }

private:
    TempFolder under_;
    std::string path_ = under_.make_folder("drive") + "/";
    bool mounted_;
};

}  // namespace ferrolo::testing
