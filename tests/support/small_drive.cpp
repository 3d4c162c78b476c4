#include "tests/support/small_drive.h"

#include <sys/mount.h>

namespace ferrolo::testing {

SmallDrive::SmallDrive(const std::string& size) : path_(under_.make_folder("drive") + "/") {
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
}

SmallDrive::~SmallDrive() {
    if (mounted_) {
        // Lazily, so that a file the test left open cannot keep the drive mounted.
        ::umount2(path_.c_str(), MNT_DETACH);
    }
}

}  // namespace ferrolo::testing
