// The built program, installed in a folder of its own and run as a scheduler runs it.
#include <gtest/gtest.h>
#include <signal.h>

#include "platform/file_system.h"
#include "tests/e2e/program_folder.h"

namespace ferrolo::testing {
namespace {

TEST(ProgramStart, WithoutArgumentsPrintsUsageToStandardErrorAndEndsWithStatusTwo) {
    ProgramFolder program;
    const ProgramRun run = program.run({});
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_EQ(
        run.errors,
        "Uso: Ferrolo c:\\hp\\*.* c:\\temp\\lun.zip c:\\temp\\log.txt [c:\\temp\\log_ext.txt]\noppure:\n"
        "Ferrolo lun.ini\n");
    EXPECT_FALSE(platform::file_exists(program / "Ferrolo.INI"));
    const std::string log = program.agent_log();
    EXPECT_NE(log.find("|F_Main\\Formcreate\\Versione del programma: " FERROLO_VERSION "\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("ShutDown Agente of Ferrolo\r\n"), std::string::npos)
        << "closing writes the shut-down block";
}

TEST(ProgramStart, TerminationRequestBeforeTheStartClosesWithoutRunning) {
    ProgramFolder program;
    const std::string source = program.folder().make_folder("data");
    RunningProgram running =
        program.start({source + "/*.*", program / "lun.zip", program / "log.txt", program / "ext.txt"});
    ASSERT_TRUE(running.wait_for_output("Stato: Procedure preliminari in corso...", std::chrono::seconds(5)));
    running.send(SIGTERM);
    const ProgramRun run = running.finish();
    EXPECT_EQ(run.exit_status, 2) << "the job did not run, which must not look like success";
    EXPECT_FALSE(platform::file_exists(program / "log.txt"));
    EXPECT_NE(program.agent_log().find("ShutDown Agente of Ferrolo"), std::string::npos);
}

TEST(ProgramStart, RunLogInAMissingFolderEndsWithStatusThreeAndOnlyTheAgentLogSaysWhy) {
    ProgramFolder program;
    const std::string source = program.folder().make_folder("data");
    const std::string missing = program / "missing/log.txt";
    const ProgramRun run = program.run({source + "/*.*", program / "lun.zip", missing, program / "ext.txt"});
    EXPECT_EQ(run.exit_status, 3);
    const std::string log = program.agent_log();
    EXPECT_NE(log.find("F_Main\\Crea_Log\\impossibile creare il file: " + missing), std::string::npos);
    EXPECT_EQ(log.find("ShutDown Agente"), std::string::npos) << "the process ended on the spot";
    EXPECT_EQ(run.errors, "") << "no message box";
}

}  // namespace
}  // namespace ferrolo::testing
