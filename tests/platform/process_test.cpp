// The programs Ferrolo starts (systemctl): run without a shell, never waited for past their limit.
#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/interrupts.h"

namespace ferrolo::platform {
namespace {

using namespace std::chrono_literals;

TEST(RunProgram, KeepsTheOutputAndStatusAndKillsWhatOutlivesItsLimit) {
    struct Case {
        std::string script;
        std::optional<int> exit_status;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"printf 'a b\\n'; echo \"$1|$2\" ; echo lost >&2; exit 3", 3, "a b\n'x y'|*\n"},
        {"sleep 30", std::nullopt, ""},
        {"echo early; exec >&-; sleep 30", std::nullopt, "early\n"},  // output closed, program still running
        {"kill -TERM $$; echo survived", std::nullopt,
         ""},  // the signals the console holds are not held here
    };
    const InterruptWatcher console;
    for (const Case& expected : cases) {
        SCOPED_TRACE(expected.script);
        const auto started = std::chrono::steady_clock::now();
        const ProgramOutcome outcome =
            run_program("/bin/sh", {"-c", expected.script, "sh", "'x y'", "*"}, 500ms);
        EXPECT_EQ(outcome.exit_status, expected.exit_status);
        EXPECT_EQ(outcome.output, expected.output);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    }
    EXPECT_EQ(run_program("/no/such/program", {}, 500ms).exit_status, std::nullopt);
}

}  // namespace
}  // namespace ferrolo::platform
