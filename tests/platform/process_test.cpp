// The programs Ferrolo starts (systemctl). Their output, exit status and arguments reach the services through
// the stand-in systemctl of the run's tests; here, what those never meet: a program that outlives its limit,
// and one that asks to be terminated while the console holds that signal for itself.
#include "platform/posix/run_program.h"

#include <gtest/gtest.h>

#include "platform/interrupts.h"

namespace ferrolo::platform {
namespace {

TEST(RunProgram, NeitherWaitsPastTheLimitNorShieldsTheProgramFromSignals) {
    const InterruptWatcher console;
    for (const std::string script : {"echo \"$1\"; exec >&-; sleep 30", "kill -TERM $$; echo survived"}) {
        const ProgramOutcome outcome =
            run_program("/bin/sh", {"-c", script, "sh", "'x y'"}, std::chrono::milliseconds(500));
        EXPECT_EQ(outcome.exit_status, std::nullopt) << script;
        EXPECT_EQ(outcome.output, script.starts_with("echo") ? "'x y'\n" : "") << script;
    }
}

}  // namespace
}  // namespace ferrolo::platform
