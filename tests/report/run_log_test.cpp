#include "report/run_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>

#include "platform/file_system.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::report {
namespace {

using testing::crlf_lines;
using testing::read_file;

class RunLogTest : public ::testing::Test {
protected:
    RunLogTest() {
        job.PARAM_3 = folder / "log.txt";
        job.PARAM_4 = folder / "log_ext.txt";
        agent.Path_Agente = folder.path();
        agent.FileName = "Ferrolo";
        agent.StartUp();
    }

    // The agent's lines after its start-up block, without their time-stamp prefix.
    std::vector<std::string> agent_messages() {
        std::vector<std::string> messages;
        for (const std::string& line : crlf_lines(read_file(agent.LogFileName()))) {
            const size_t third_bar = line.find('|', line.find('|', line.find('|') + 1) + 1);
            if (third_bar != std::string::npos && line.find("AGENTE") == std::string::npos &&
                line.find("Who: ") == std::string::npos) {
                messages.push_back(line.substr(third_bar + 1));
            }
        }
        return messages;
    }

    testing::TempFolder folder;
    core::JobSettings job;
    TAgente agent;
    testing::RecordingDisplay display;
    RunLog log{job, agent, display};
};

TEST_F(RunLogTest, CreatedLogsStartAfreshWithTheBanner) {
    testing::write_file(job.PARAM_3, "left from yesterday\r\n");
    log.Crea_Log(job.PARAM_3);
    log.Crea_Log(job.PARAM_4);
    for (const std::string& file : {job.PARAM_3, job.PARAM_4}) {
        const auto lines = crlf_lines(read_file(file));
        ASSERT_EQ(lines.size(), 6u) << file;
        EXPECT_EQ(lines[1], std::string(13, ' ') + std::string(57, '*'));
        EXPECT_EQ(lines[2].substr(0, 45), "             *** File di Log creato in data: ");
        EXPECT_EQ(read_file(file).substr(read_file(file).size() - 4), "\r\n\r\n");
    }
    log.Crea_Log("");  // an empty name does nothing
}

TEST_F(RunLogTest, FlagsChooseTheFilesAndOnlyRunLogLinesAreMirrored) {
    log.Crea_Log(job.PARAM_3);
    log.Crea_Log(job.PARAM_4);
    log.Append_Log(true, true, "both");
    log.Append_Log(false, true, "Add: /data/a.txt");
    log.Append_Log(true, false, "run only");
    log.Append_Log(true, true, "");
    const auto run_lines = crlf_lines(read_file(job.PARAM_3));
    const auto extended_lines = crlf_lines(read_file(job.PARAM_4));
    EXPECT_EQ(std::vector<std::string>(run_lines.begin() + 6, run_lines.end()),
              (std::vector<std::string>{"both", "run only", ""}));
    EXPECT_EQ(std::vector<std::string>(extended_lines.begin() + 6, extended_lines.end()),
              (std::vector<std::string>{"both", "Add: /data/a.txt", ""}));
    EXPECT_EQ(agent_messages(),
              (std::vector<std::string>{"F_Main\\Append_Log\\both", "F_Main\\Append_Log\\run only",
                                        "F_Main\\Append_Log\\"}))
        << "empty run-log lines are mirrored too";
}

TEST_F(RunLogTest, RunLogDeletedMidRunLeavesWarningsAndTheExtendedLogGrows) {
    log.Crea_Log(job.PARAM_3);
    log.Crea_Log(job.PARAM_4);
    std::remove(job.PARAM_3.c_str());
    log.Append_Log(true, true, "first");
    log.Append_Log(true, true, "second");
    EXPECT_FALSE(platform::file_exists(job.PARAM_3)) << "appending never recreates the run log";
    const auto extended = crlf_lines(read_file(job.PARAM_4));
    EXPECT_EQ(extended.back(), "second");
    EXPECT_EQ(agent.WarningCount(), 2);
    const std::string agent_log = read_file(agent.LogFileName());
    EXPECT_NE(agent_log.find("F_Main\\Append_Log\\impossibile aggiornare il file: " + job.PARAM_3),
              std::string::npos);
}

using RunLogDeathTest = RunLogTest;

TEST_F(RunLogDeathTest, LogInAMissingFolderEndsTheProcessWithStatusThreeAndOnlyTheAgentSaysWhy) {
    const std::string missing = folder / "missing/log.txt";
    EXPECT_EXIT(log.Crea_Log(missing), ::testing::ExitedWithCode(3), "");
    EXPECT_NE(read_file(agent.LogFileName()).find("F_Main\\Crea_Log\\impossibile creare il file: " + missing),
              std::string::npos);
}

TEST_F(RunLogTest, TraceLinesLoseEveryEndMarkerAndAreCutTo150Characters) {
    log.Tracing_Out("250 OK<EOL>");
    log.Tracing_Out("<EOL><EOL>");
    log.Tracing_Out("a<EO<EOL>L>b");
    log.Tracing_Out("riga 1\nriga 2");
    log.Tracing_Out(std::string(200, 'x'));
    ASSERT_EQ(display.trace.size(), 5u);
    std::vector<std::string> texts;
    for (const std::string& line : display.trace) {
        ASSERT_GE(line.size(), 20u);
        EXPECT_TRUE(std::regex_match(line.substr(0, 20), std::regex(R"(\d\d/\d\d/\d{4}-\d\d:\d\d:\d\d\\)")))
            << line;
        texts.push_back(line.substr(20));
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"250 OK", "", "ab", "riga 1\nriga 2", std::string(150, 'x')}));
    EXPECT_EQ(display.pumps, 5) << "every trace line lets the window breathe";
    const auto messages = agent_messages();
    EXPECT_EQ(messages.front(), "F_Main\\Tracing:250 OK");
    EXPECT_EQ(messages.back(), "F_Main\\Tracing:" + std::string(150, 'x'));
}

}  // namespace
}  // namespace ferrolo::report
