// The application log kept by the agent, the run's two logs and its trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <iostream>
#include <regex>

#include "platform/file_system.h"
#include "report/agente.h"
#include "report/run_log.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::report {
namespace {

using testing::crlf_lines;
using testing::read_file;
using testing::TempFolder;
using Lines = std::vector<std::string>;

// `text` with its line ends made CR LF.
std::string crlf(const std::string& text) {
    return std::regex_replace(text, std::regex("\n"), "\r\n");
}

// `log` with every date (dd.mm.yyyy or dd/mm/yyyy) and time replaced by a mask of the same width, so the
// layout can be compared.
std::string without_clock(const std::string& log) {
    return std::regex_replace(std::regex_replace(log, std::regex(R"(\d\d([./])\d\d\1\d{4})"), "dd$1mm$1yyyy"),
                              std::regex(R"(\d\d:\d\d:\d\d)"), "hh:nn:ss");
}

// What every log, the agent's and the run's two, opens with.
const std::string kBanner = crlf(R"(
             *********************************************************
             *** File di Log creato in data: dd.mm.yyyy - hh:nn:ss ***
             *********************************************************


)");

TAgente agent_in(const TempFolder& folder) {
    TAgente agent;
    agent.Path_Agente = folder.path();
    agent.FileName = agent.ApplicationName = "Ferrolo";
    agent.VersionOfApplication = "1.0.0.0";
    agent.Alert = [](std::string_view message) { std::cerr << message << '\n'; };
    return agent;
}

// Makes a write to a file beyond `size` bytes fail, as a full or read-only device would; RLIM_INFINITY
// lifts the limit again.
void limit_file_size(rlim_t size) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = size < limit.rlim_max ? size : limit.rlim_max;
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

    EXPECT_EQ(without_clock(read_file(folder / "Ferrolo.LOG")), kBanner + crlf(R"(

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
)"));
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

// The failure is raised, so the program can wind up (start its services again) before it ends.
TEST(AgentLog, LogThatCannotBeWrittenRaisesItsMessage) {
    TempFolder folder;
    folder.write("Ferrolo.LOG", std::string(200, 'o'));
    TAgente nowhere = agent_in(folder), starting = agent_in(folder), messages = agent_in(folder),
            warnings = agent_in(folder), closing = agent_in(folder);
    nowhere.Path_Agente = folder / "missing/";
    for (TAgente* agent : {&messages, &warnings, &closing}) {
        agent->StartUp();
    }
    // Each on a log that cannot grow any more.
    const std::vector<std::pair<std::function<void()>, std::string>> failures = {
        {[&] { nowhere.StartUp(); }, "AGENTE: impossibile creare file di log !"},
        {[&] { starting.StartUp(); }, "AGENTE: impossibile fare lo start-up del file di log !"},
        {[&] { messages.WriteMessage("x"); }, "AGENTE: impossibile aggiornare il file di log !"},
        {[&] { warnings.WriteWarning("x"); }, "AGENTE: impossibile aggiornare il file di log !"},
        {[&] { closing.ShutDown(); }, "AGENTE: impossibile fare lo shut-down del file di log !"},
    };
    for (const auto& [action, message] : failures) {
        limit_file_size(read_file(folder / "Ferrolo.LOG").size());
        EXPECT_THAT(action, ::testing::ThrowsMessage<AgentFailure>(message));
        limit_file_size(RLIM_INFINITY);
    }
}

class RunLogTest : public ::testing::Test {
protected:
    RunLogTest() {
        job.PARAM_3 = folder / "log.txt";
        job.PARAM_4 = folder / "log_ext.txt";
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

    TempFolder folder;
    core::JobSettings job;
    TAgente agent = agent_in(folder);
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
    log.Append_Log(true, true, "Add: /data/a\r\nErrori: 0\t\x1b");
    const std::string forged = "Add: /data/a??Errori: 0??\r\n";
    EXPECT_EQ(without_clock(read_file(job.PARAM_3)), kBanner + "both\r\nrun only\r\n\r\n" + forged);
    EXPECT_EQ(without_clock(read_file(job.PARAM_4)), kBanner + "both\r\nAdd: /data/a.txt\r\n\r\n" + forged);

    EXPECT_FALSE(log.lines_lost());
    std::remove(job.PARAM_3.c_str());  // mid-run
    log.Append_Log(true, true, "first");
    log.Append_Log(true, true, "second");
    EXPECT_FALSE(platform::file_exists(job.PARAM_3)) << "appending never recreates the run log";
    EXPECT_EQ(crlf_lines(read_file(job.PARAM_4)).back(), "second");
    const std::string warning = "F_Main\\Append_Log\\impossibile aggiornare il file: " + job.PARAM_3;
    EXPECT_EQ(agent_messages(),
              (Lines{"F_Main\\Append_Log\\both", "F_Main\\Append_Log\\run only", "F_Main\\Append_Log\\",
                     "F_Main\\Append_Log\\" + forged.substr(0, forged.size() - 2),
                     "F_Main\\Append_Log\\first", warning, "F_Main\\Append_Log\\second", warning}))
        << "run-log lines, empty ones too, are mirrored; a failed one is warned of";
    EXPECT_EQ(agent.WarningCount(), 2);
    EXPECT_TRUE(log.lines_lost()) << "so the run can end with the fatal status";
}

TEST_F(RunLogTest, TraceLinesAreStampedPrintableLoseEveryEndMarkerAreCutTo150CharactersAndGoToTheAgentLog) {
    const std::vector<std::pair<std::string, std::string>> texts_shown = {
        {"250 OK<EOL>", "250 OK"},
        {"<EOL><EOL>", ""},
        {"a<EO<EOL>L>b", "ab"},
        {"riga 1\nriga 2\x1b[2J\x7f", "riga 1?riga 2?[2J?"},  // a name cannot forge a line
        {std::string(200, 'x'), std::string(150, 'x')},
        {std::string(149, 'x') + "à!", std::string(149, 'x') + "à"},  // 150 characters, not bytes
    };
    Lines agent_copies;
    for (const auto& [text, shown] : texts_shown) {
        log.Tracing_Out(text);
        EXPECT_EQ(without_clock(display.trace.back()), "dd/mm/yyyy-hh:nn:ss\\" + shown);
        agent_copies.push_back("F_Main\\Tracing:" + shown);
    }
    EXPECT_EQ(display.trace.size(), texts_shown.size());
    EXPECT_EQ(display.pumps, 6) << "every trace line lets the window breathe";
    EXPECT_EQ(agent_messages(), agent_copies);
}

}  // namespace
}  // namespace ferrolo::report
