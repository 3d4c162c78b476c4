#include "report/agente.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <regex>

#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::report {
namespace {

using testing::read_file;
using testing::TempFolder;

TAgente agent_in(const TempFolder& folder) {
    TAgente agent;
    agent.Path_Agente = folder.path();
    agent.FileName = "Ferrolo";
    agent.ApplicationName = "Ferrolo";
    agent.VersionOfApplication = "1.0.0.0";
    agent.Alert = [](std::string_view message) {
        std::fprintf(stderr, "%.*s\n", int(message.size()), message.data());
    };
    return agent;
}

// `log` with every date and time replaced by a mask of the same width, so the layout can be compared.
std::string without_clock(const std::string& log) {
    return std::regex_replace(std::regex_replace(log, std::regex(R"(\d\d\.\d\d\.\d{4})"), "dd.mm.yyyy"),
                              std::regex(R"(\d\d:\d\d:\d\d)"), "hh:nn:ss");
}

// Makes the next write to a file beyond `size` bytes fail, as a full or read-only device would.
void limit_file_size(uint64_t size) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{size, size};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(AgentLog, FirstRunWritesTheBannerAndLaterRunsAppendWithFreshCountersUntilTheirShutDown) {
    TempFolder folder;
    TAgente first = agent_in(folder);
    first.StartUp();
    first.WriteMessage("primo");
    first.WriteMessage("secondo");
    first.WriteMessage("");  // not written, not counted
    first.WriteWarning("attenzione");
    first.ShutDown();
    TAgente second = agent_in(folder);
    second.StartUp();
    second.ShutDown();
    second.ShutDown();
    second.WriteMessage("too late");

    // Lines end with CR LF in the file.
    const std::string expected = R"(
             *********************************************************
             *** File di Log creato in data: dd.mm.yyyy - hh:nn:ss ***
             *********************************************************




1.0.0.0|dd.mm.yyyy|hh:nn:ss|Start Up AGENTE
1.0.0.0|dd.mm.yyyy|hh:nn:ss|Who: Ferrolo
1.0.0.0|dd.mm.yyyy|hh:nn:ss|primo
1.0.0.0|dd.mm.yyyy|hh:nn:ss|secondo

--------------------------------------------------------------------------------
Warning Agente !
1.0.0.0|dd.mm.yyyy|hh:nn:ss|attenzione
--------------------------------------------------------------------------------

1.0.0.0|dd.mm.yyyy|hh:nn:ss|Num. of messages: 2
1.0.0.0|dd.mm.yyyy|hh:nn:ss|Num. of warnings: 1
1.0.0.0|dd.mm.yyyy|hh:nn:ss|ShutDown Agente of Ferrolo


1.0.0.0|dd.mm.yyyy|hh:nn:ss|Start Up AGENTE
1.0.0.0|dd.mm.yyyy|hh:nn:ss|Who: Ferrolo
1.0.0.0|dd.mm.yyyy|hh:nn:ss|Num. of messages: 0
1.0.0.0|dd.mm.yyyy|hh:nn:ss|Num. of warnings: 0
1.0.0.0|dd.mm.yyyy|hh:nn:ss|ShutDown Agente of Ferrolo
)";
    EXPECT_EQ(without_clock(read_file(folder / "Ferrolo.LOG")),
              std::regex_replace(expected, std::regex("\n"), "\r\n"));
}

TEST(AgentLog, IsRenewedOnlyWhenLargerThanFiveMillionBytes) {
    TempFolder folder;
    const std::string at_the_limit(5'000'000, 'x');
    folder.write("Ferrolo.LOG", at_the_limit);
    agent_in(folder).StartUp();
    EXPECT_EQ(read_file(folder / "Ferrolo.LOG").substr(0, 3), "xxx") << "5,000,000 bytes are appended to";
    folder.write("Ferrolo.LOG", at_the_limit + "x");
    agent_in(folder).StartUp();
    EXPECT_EQ(read_file(folder / "Ferrolo.LOG").find('x'), std::string::npos)
        << "5,000,001 bytes start again";
}

TEST(AgentLog, InactiveAgentCreatesAndWritesNothingAndEmptyNamesFallBackToTheComponentName) {
    TempFolder folder;
    TAgente inactive = agent_in(folder);
    inactive.ActiveLog = false;
    inactive.StartUp();
    inactive.WriteMessage("x");
    inactive.WriteWarning("y");
    inactive.ShutDown();
    EXPECT_TRUE(platform::find_files(folder.path(), "*").empty());

    TAgente unnamed("Agente");
    unnamed.Path_Agente = folder.path();
    unnamed.StartUp();
    EXPECT_NE(
        without_clock(read_file(folder / "Agente.LOG")).find("\r\n|dd.mm.yyyy|hh:nn:ss|Start Up AGENTE\r\n"),
        std::string::npos)
        << "an empty version opens the line";
}

using AgentLogDeathTest = ::testing::Test;

TEST_F(AgentLogDeathTest, LogThatCannotBeWrittenEndsTheProcessWithItsMessageAndStatusThree) {
    TempFolder folder;
    TAgente nowhere = agent_in(folder);
    nowhere.Path_Agente = folder / "missing/";
    EXPECT_EXIT(nowhere.StartUp(), ::testing::ExitedWithCode(3), "AGENTE: impossibile creare file di log !");

    // Longer than the message, which the death test also keeps in a file.
    const std::string old_log(200, 'o');
    folder.write("Ferrolo.LOG", old_log);
    TAgente agent = agent_in(folder);
    EXPECT_EXIT((limit_file_size(old_log.size()), agent.StartUp()), ::testing::ExitedWithCode(3),
                "AGENTE: impossibile fare lo start-up del file di log !");
    agent.StartUp();
    const auto size = static_cast<uint64_t>(read_file(folder / "Ferrolo.LOG").size());
    EXPECT_EXIT((limit_file_size(size), agent.WriteMessage("x")), ::testing::ExitedWithCode(3),
                "AGENTE: impossibile aggiornare il file di log !");
    EXPECT_EXIT((limit_file_size(size), agent.WriteWarning("x")), ::testing::ExitedWithCode(3),
                "AGENTE: impossibile aggiornare il file di log !");
    EXPECT_EXIT((limit_file_size(size), agent.ShutDown()), ::testing::ExitedWithCode(3),
                "AGENTE: impossibile fare lo shut-down del file di log !");
}

}  // namespace
}  // namespace ferrolo::report
