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
using Lines = std::vector<std::string>;

class RunLogTest : public ::testing::Test {
protected:
    RunLogTest() {
        job.PARAM_3 = folder / "log.txt";
        job.PARAM_4 = folder / "log_ext.txt";
        agent.Path_Agente = folder.path();
        agent.FileName = "Ferrolo";
        agent.StartUp();
    }

    // The agent's lines from the run's log, without their time-stamp prefix.
    Lines agent_messages() const {
        Lines messages;
        for (const std::string& line : crlf_lines(read_file(agent.LogFileName()))) {
            if (const size_t from = line.find("|F_Main\\"); from != std::string::npos) {
                messages.push_back(line.substr(from + 1));
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

TEST_F(RunLogTest,
       LogsStartAfreshWithTheBannerFlagsChooseTheFilesRunLogLinesAreMirroredAndADeletedRunLogOnlyWarns) {
    testing::write_file(job.PARAM_3, "left from yesterday\r\n");
    log.Crea_Log(job.PARAM_3);
    log.Crea_Log(job.PARAM_4);
    log.Crea_Log("");  // an empty name does nothing
    log.Append_Log(true, true, "both");
    log.Append_Log(false, true, "Add: /data/a.txt");
    log.Append_Log(true, false, "run only");
    log.Append_Log(true, true, "");
    const std::regex banner(
        R"(\r\n {13}\*{57}\r\n {13}\*\*\* File di Log creato in data: \d\d\.\d\d\.\d{4} - )"
        R"(\d\d:\d\d:\d\d \*\*\*\r\n {13}\*{57}\r\n\r\n\r\n)");
    for (const auto& [file, lines] : {std::pair{job.PARAM_3, Lines{"both", "run only", ""}},
                                      std::pair{job.PARAM_4, Lines{"both", "Add: /data/a.txt", ""}}}) {
        const std::string text = read_file(file);
        const size_t banner_end = text.find("\r\n\r\n\r\n") + 6;
        EXPECT_TRUE(std::regex_match(text.substr(0, banner_end), banner)) << text;
        EXPECT_EQ(crlf_lines(text.substr(banner_end)), lines) << file;
    }

    std::remove(job.PARAM_3.c_str());  // mid-run
    log.Append_Log(true, true, "first");
    log.Append_Log(true, true, "second");
    EXPECT_FALSE(platform::file_exists(job.PARAM_3)) << "appending never recreates the run log";
    EXPECT_EQ(crlf_lines(read_file(job.PARAM_4)).back(), "second");
    const std::string warning = "F_Main\\Append_Log\\impossibile aggiornare il file: " + job.PARAM_3;
    EXPECT_EQ(agent_messages(),
              (Lines{"F_Main\\Append_Log\\both", "F_Main\\Append_Log\\run only", "F_Main\\Append_Log\\",
                     "F_Main\\Append_Log\\first", warning, "F_Main\\Append_Log\\second", warning}))
        << "run-log lines, empty ones too, are mirrored; a failed one is warned of";
    EXPECT_EQ(agent.WarningCount(), 2);
}

using RunLogDeathTest = RunLogTest;

TEST_F(RunLogDeathTest, LogInAMissingFolderEndsTheProcessWithStatusThreeAndOnlyTheAgentSaysWhy) {
    const std::string missing = folder / "missing/log.txt";
    EXPECT_EXIT(log.Crea_Log(missing), ::testing::ExitedWithCode(3), "");
    EXPECT_NE(read_file(agent.LogFileName()).find("F_Main\\Crea_Log\\impossibile creare il file: " + missing),
              std::string::npos);
}

TEST_F(RunLogTest, TraceLinesAreStampedLoseEveryEndMarkerAreCutTo150CharactersAndGoToTheAgentLog) {
    const std::vector<std::pair<std::string, std::string>> texts_shown = {
        {"250 OK<EOL>", "250 OK"},
        {"<EOL><EOL>", ""},
        {"a<EO<EOL>L>b", "ab"},
        {"riga 1\nriga 2", "riga 1\nriga 2"},
        {std::string(200, 'x'), std::string(150, 'x')},
    };
    Lines agent_copies;
    for (const auto& [text, shown] : texts_shown) {
        log.Tracing_Out(text);
        EXPECT_TRUE(
            std::regex_match(display.trace.back(), std::regex(R"(\d\d/\d\d/\d{4}-\d\d:\d\d:\d\d\\[^]*)")));
        EXPECT_EQ(display.trace.back().substr(20), shown);
        agent_copies.push_back("F_Main\\Tracing:" + shown);
    }
    EXPECT_EQ(display.trace.size(), 5u);
    EXPECT_EQ(display.pumps, 5) << "every trace line lets the window breathe";
    EXPECT_EQ(agent_messages(), agent_copies);
}

}  // namespace
}  // namespace ferrolo::report
