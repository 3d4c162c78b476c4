// The programs Ferrolo starts (systemctl): found on PATH, run without a shell, never waited for past
// their limit.
#include "platform/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "platform/interrupts.h"
#include "tests/support/temp_folder.h"

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
        {"kill -TERM $$; sleep 30", std::nullopt, ""},                // the console's signals are not held
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

TEST(FindProgram, TakesTheFirstExecutableFileOnPathAndNeverTheCurrentFolder) {
    testing::TempFolder folder;
    const std::string plain = folder.write("plain/tool", "#!/bin/sh\n");  // not executable
    folder.make_folder("folder/tool");
    const std::string first = folder.write("first/tool", "#!/bin/sh\n");
    const std::string second = folder.write("second/tool", "#!/bin/sh\n");
    const std::string here = folder.write("tool", "#!/bin/sh\n");
    for (const std::string& program : {first, second, here}) {
        ::chmod(program.c_str(), 0755);
    }
    const std::string previous = std::getenv("PATH");
    const auto found_with = [&](const std::string& path) {
        ::setenv("PATH", path.c_str(), 1);
        const auto found = find_program("tool");
        ::setenv("PATH", previous.c_str(), 1);
        return found;
    };
    const std::string current = std::filesystem::current_path();
    ASSERT_EQ(::chdir(folder.path().c_str()), 0);
    EXPECT_EQ(
        found_with(":" + folder / "plain:" + folder / "folder:" + folder / "first:" + folder / "second"),
        first);
    EXPECT_EQ(found_with("::" + folder / "plain"), std::nullopt);
    EXPECT_EQ(found_with(""), std::nullopt);
    std::filesystem::current_path(current);
}

}  // namespace
}  // namespace ferrolo::platform
