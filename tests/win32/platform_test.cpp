#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/version.h"

namespace ferrolo::platform {
namespace {

TEST(Win32Platform, TheProgramReadsItsOwnVersionResource) {
    EXPECT_EQ(file_version(program_path()), FERROLO_VERSION);
}

}  // namespace
}  // namespace ferrolo::platform
