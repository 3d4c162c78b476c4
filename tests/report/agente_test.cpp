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

using testing::crlf_lines;
using testing::read_file;
using testing::TempFolder;

const std::string kStamp = R"(\d\d\.\d\d\.\d{4}\|\d\d:\d\d:\d\d\|)";

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

void expect_line(const std::string& line, const std::string& pattern) {
    EXPECT_TRUE(std::regex_match(line, std::regex(pattern))) << "line: [" << line << "] pattern: " << pattern;
}

// Makes the next write to a file beyond `size` bytes fail, as a full or read-only device would.
void limit_file_size(uint64_t size) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{size, size};
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(AgentLog, FirstRunInAnEmptyFolderWritesBannerStartUpMessagesAndShutDown) {
    TempFolder folder;
    TAgente agent = agent_in(folder);
    agent.StartUp();
    EXPECT_EQ(agent.LogFileName(), folder / "Ferrolo.LOG");
    agent.WriteMessage("primo");
    agent.WriteMessage("");
    agent.WriteWarning("attenzione");
    agent.ShutDown();

    const auto lines = crlf_lines(read_file(folder / "Ferrolo.LOG"));
    ASSERT_EQ(lines.size(), 20u);
    const std::string stars = std::string(13, ' ') + std::string(57, '*');
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], stars);
    expect_line(lines[2],
                R"( {13}\*\*\* File di Log creato in data: \d\d\.\d\d\.\d{4} - \d\d:\d\d:\d\d \*\*\*)");
    EXPECT_EQ(lines[2].size(), 70u);
    EXPECT_EQ(lines[3], stars);
    EXPECT_EQ(lines[4] + lines[5] + lines[6] + lines[7], "");
    expect_line(lines[8], "1\\.0\\.0\\.0\\|" + kStamp + "Start Up AGENTE");
    expect_line(lines[9], "1\\.0\\.0\\.0\\|" + kStamp + "Who: Ferrolo");
    expect_line(lines[10], "1\\.0\\.0\\.0\\|" + kStamp + "primo");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], std::string(80, '-'));
    EXPECT_EQ(lines[13], "Warning Agente !");
    expect_line(lines[14], "1\\.0\\.0\\.0\\|" + kStamp + "attenzione");
    EXPECT_EQ(lines[15], std::string(80, '-'));
    EXPECT_EQ(lines[16], "");
    // The empty message is not counted.
    expect_line(lines[17], "1\\.0\\.0\\.0\\|" + kStamp + "Num\\. of messages: 1");
    expect_line(lines[18], "1\\.0\\.0\\.0\\|" + kStamp + "Num\\. of warnings: 1");
    expect_line(lines[19], "1\\.0\\.0\\.0\\|" + kStamp + "ShutDown Agente of Ferrolo");
}

TEST(AgentLog, LaterRunsAppendWithoutANewBanner) {
    TempFolder folder;
    for (int run = 0; run < 2; ++run) {
        TAgente agent = agent_in(folder);
        agent.StartUp();
        agent.WriteMessage("run " + std::to_string(run));
        agent.ShutDown();
    }
    const std::string log = read_file(folder / "Ferrolo.LOG");
    EXPECT_EQ(std::count(log.begin(), log.end(), '*'), 57 * 2 + 6) << "one banner only";
    EXPECT_NE(log.find("run 0"), std::string::npos);
    EXPECT_NE(log.find("run 1"), std::string::npos);
    EXPECT_EQ(crlf_lines(log).size(), 6u + 2 * 8u);
}

TEST(AgentLog, IsRenewedOnlyWhenLargerThanFiveMillionBytes) {
    TempFolder folder;
    const std::string old_line = std::string(98, 'x') + "\r\n";
    std::string exactly_limit;
    while (exactly_limit.size() < 5'000'000) {
        exactly_limit += old_line;
    }
    ASSERT_EQ(exactly_limit.size(), 5'000'000u);
    folder.write("Ferrolo.LOG", exactly_limit);
    agent_in(folder).StartUp();
    EXPECT_EQ(read_file(folder / "Ferrolo.LOG").substr(0, 100), old_line)
        << "5,000,000 bytes are appended to";

    folder.write("Ferrolo.LOG", exactly_limit + "y");
    agent_in(folder).StartUp();
    const std::string renewed = read_file(folder / "Ferrolo.LOG");
    EXPECT_EQ(renewed.find('x'), std::string::npos) << "5,000,001 bytes start again";
    EXPECT_EQ(renewed.substr(0, 2), "\r\n");
    EXPECT_NE(renewed.find("File di Log creato in data"), std::string::npos);
}

TEST(AgentLog, InactiveAgentCreatesAndWritesNothing) {
    TempFolder folder;
    TAgente agent = agent_in(folder);
    agent.ActiveLog = false;
    agent.StartUp();
    agent.WriteMessage("x");
    agent.WriteWarning("y");
    agent.ShutDown();
    EXPECT_FALSE(platform::file_exists(folder / "Ferrolo.LOG"));
}

TEST(AgentLog, SecondShutDownAndLaterMessagesDoNothing) {
    TempFolder folder;
    TAgente agent = agent_in(folder);
    agent.StartUp();
    agent.ShutDown();
    const std::string after_first = read_file(folder / "Ferrolo.LOG");
    agent.ShutDown();
    agent.WriteMessage("late");
    EXPECT_EQ(read_file(folder / "Ferrolo.LOG"), after_first);
    EXPECT_EQ(agent.LogFileName(), "");
}

TEST(AgentLog, EmptyNamesFallBackToTheComponentNameAndTheVersionMayBeEmpty) {
    TempFolder folder;
    TAgente agent("Agente");
    agent.Path_Agente = folder.path();
    agent.StartUp();
    agent.ShutDown();
    const auto lines = crlf_lines(read_file(folder / "Agente.LOG"));
    expect_line(lines[8], "\\|" + kStamp + "Start Up AGENTE");
}

using AgentLogDeathTest = ::testing::Test;

TEST_F(AgentLogDeathTest, MissingFolderEndsTheProcessWithStatusThree) {
    TempFolder folder;
    TAgente agent = agent_in(folder);
    agent.Path_Agente = folder / "missing/";
    EXPECT_EXIT(agent.StartUp(), ::testing::ExitedWithCode(3), "AGENTE: impossibile creare file di log !");
}

TEST_F(AgentLogDeathTest, UnwritableLogAtStartUpEndsTheProcessWithStatusThree) {
    TempFolder folder;
    // Longer than the message, which the death test also keeps in a file.
    const std::string old_log(200, 'o');
    folder.write("Ferrolo.LOG", old_log);
    TAgente agent = agent_in(folder);
    EXPECT_EXIT((limit_file_size(old_log.size()), agent.StartUp()), ::testing::ExitedWithCode(3),
                "AGENTE: impossibile fare lo start-up del file di log !");
}

TEST_F(AgentLogDeathTest, FailedMessageOrShutDownEndsTheProcessWithStatusThree) {
    TempFolder folder;
    TAgente agent = agent_in(folder);
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
