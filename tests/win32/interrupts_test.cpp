// Ctrl+C reaches the watcher through the console, as from a user at the keyboard.
#include "platform/interrupts.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace ferrolo::platform {
namespace {

using namespace std::chrono_literals;

TEST(WindowsInterrupts, CtrlCIsOneCancelRequest) {
    // A console of the test's own: its output goes to a pipe, which takes no Ctrl+C.
    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole());
    InterruptWatcher watcher;
    EXPECT_EQ(watcher.wait(0ms), std::nullopt);
    ASSERT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_EQ(watcher.wait(5s), Interrupt::Cancel);
    EXPECT_EQ(watcher.wait(0ms), std::nullopt) << "delivered once";
}

}  // namespace
}  // namespace ferrolo::platform
