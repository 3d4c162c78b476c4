// The built program in its console, copied into a program folder of its own and run there as a scheduler
// runs it, with its real start delay.
#include <regex>
#include <set>

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
    const std::string source = program.make_folder("data");
    program.start({source + "/*.*", program / "lun.zip", program / "log.txt", program / "ext.txt"});
    ASSERT_TRUE(wait_for_text(program / ".stdout", "Stato: Procedure preliminari in corso...", 5s));
    program.send(SIGTERM);
    EXPECT_EQ(program.finish().exit_status, 2) << "the job did not run, which must not look like success";
    EXPECT_FALSE(platform::file_exists(program / "log.txt"));
    EXPECT_NE(program.agent_log().find("ShutDown Agente of Ferrolo"), std::string::npos);
}

TEST(ProgramStart, RunLogInAMissingFolderEndsWithStatusThreeAndOnlyTheAgentLogSaysWhy) {
    ProgramFolder program;
    const std::string source = program.make_folder("data");
    const std::string missing = program / "missing/log.txt";
    const ProgramRun run = program.run({source + "/*.*", program / "lun.zip", missing, program / "ext.txt"});
    EXPECT_EQ(run.exit_status, 3);
    const std::string log = program.agent_log();
    EXPECT_NE(log.find("F_Main\\Crea_Log\\impossibile creare il file: " + missing), std::string::npos);
    EXPECT_EQ(log.find("ShutDown Agente"), std::string::npos) << "the process ended on the spot";
    EXPECT_EQ(run.errors, "") << "no message box";
}

TEST(FullRun, BacksUpARealFolderTestsTheArchiveAndWritesTheExpectedLogs) {
    NightlyJob job;
    ASSERT_EQ(run_command("cp -r /usr/share/doc/[a-l]* " + shell_quote(job.source)).exit_status, 0);
    job.write_job("TEST_ZIP=SI\r\nCANCELLA_ZIP_PRECEDENTE=SI\r\nCOPIA_SU_REMOTO3=" + job.remote + "\r\n");
    const ProgramRun run = job.program.run({"notte.ini"});
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;

    // What the archive must hold, as find sees the folder: real folders (with "/") and files that are, or
    // link to, regular files; stored without the leading "/".
    const auto found = lines_of(run_command("find " + shell_quote(job.source) +
                                            " -mindepth 1 \\( -type d -printf '%p/\\n' \\) -o \\( -xtype f "
                                            "-print \\) | cut -c2-")
                                    .output);
    const std::set<std::string> expected(found.begin(), found.end());
    EXPECT_GT(expected.size(), 1000u) << "a folder of a few thousand entries";
    EXPECT_EQ(job.unzip_test(), 0);
    const auto listing = job.listing();
    EXPECT_EQ(std::set<std::string>(listing.begin(), listing.end()), expected);
    EXPECT_EQ(listing.size(), expected.size()) << "no entry twice";

    const auto extended = crlf_lines(read_file(job.out + "log_ext.txt"));
    EXPECT_EQ(count_starting(extended, "Add: "), static_cast<long>(expected.size()));
    EXPECT_GE(count_starting(extended, "Test: "), 2 * static_cast<long>(expected.size()))
        << "a start and an end per entry";

    // The run log with dates, times and the number of tested files masked.
    std::string expected_log = R"(
             *********************************************************
             *** File di Log creato in data: <when> - <when> ***
             *********************************************************


Cancello: <out>notte*.Z*
    Subdir from :<source>/*.*
       Include 1:
       Include 2:
       Include 3:
       Include 4:
       Include 5:
    Filename ZIP:<out>notte.zip
    File di log :<out>log.txt
File di log est.:<out>log_ext.txt

--------------------------------------------------------------------


--------------------------------------------------------------------
Stato:
Nessun errore durante lo zipping.
                    Inizio zipping: <when>
                      Fine zipping: <when>
                    Durata zipping: <when>
               Numero file zippati: <entries>
    Numero file zippati con errori: 0
--------------------------------------------------------------------

--------------------------------------------------------------------
Inizio test archivio.
--------------------------------------------------------------------
Stato:
Nessun errore durante il test.
                    Inizio testing: <when>
                        Fine copia: <when>
                       Durata test: <when>
               Totale file testati: <tested>
            Totale file con errori: 0
Fine test archivio.
--------------------------------------------------------------------

--------------------------------------------------------------------
                Cancello: <remote>notte.zip
  Impossibile cancellare: <remote>notte.zip
Inizio copia archivio su: <remote>
--------------------------------------------------------------------
Stato:
Nessun errore durante la copia.
                      Inizio copia: <when>
                        Fine copia: <when>
                      Durata copia: <when>
Fine copia archivio su: <remote>
--------------------------------------------------------------------
)";
    for (const auto& [mark, text] : {std::pair<std::string, std::string>{"<out>", job.out},
                                     {"<source>", job.source},
                                     {"<remote>", job.remote},
                                     {"<entries>", std::to_string(expected.size())},
                                     {"\n", "\r\n"}}) {
        expected_log = std::regex_replace(expected_log, std::regex(mark), text);
    }
    const std::string written = std::regex_replace(
        read_file(job.out + "log.txt"),
        std::regex(R"(\d\d\.\d\d\.\d{4}-\d\d:\d\d:\d\d|\d\d:\d\d:\d\d|\d\d\.\d\d\.\d{4})"), "<when>");
    EXPECT_EQ(std::regex_replace(written, std::regex("testati: [0-9]+\r"), "testati: <tested>\r"),
              expected_log);
    EXPECT_EQ(read_file(job.remote + "notte.zip"), read_file(job.archive));
    EXPECT_NE(run.output.find("Stato: Zipping terminato."), std::string::npos);
    EXPECT_NE(job.program.agent_log().find("F_Main\\Append_Log\\Fine test archivio."), std::string::npos);
}

TEST(FullRun, CtrlCDuringPackingStopsItLeavesAValidShorterArchiveAndRunsTheLaterSteps) {
    NightlyJob job;
    write_slow_files(job.source, 40);
    job.write_job("TEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + job.remote + "\r\n");

    job.program.start({"notte.ini"});
    ASSERT_TRUE(wait_for_text(job.out + "log_ext.txt", "Add: ", 120s));
    job.program.send(SIGINT);
    const ProgramRun run = job.program.finish();
    EXPECT_EQ(run.exit_status, 1) << "a stopped backup is incomplete";
    EXPECT_NE(run.output.find("Annulla"), std::string::npos);

    const auto lines = crlf_lines(read_file(job.out + "log.txt"));
    const std::vector<std::string> stop = {"Copia interrotta dall'utente.", "", std::string(68, '-'),
                                           "Stato:"};
    const auto stopped = std::search(lines.begin(), lines.end(), stop.begin(), stop.end());
    ASSERT_NE(stopped, lines.end()) << "before the summary";
    EXPECT_NE(std::find(stopped, lines.end(), "Inizio test archivio."), lines.end()) << "the test still runs";
    EXPECT_NE(std::find(stopped, lines.end(), "Fine copia archivio su: " + job.remote), lines.end())
        << "the copies still run";
    EXPECT_EQ(job.unzip_test(), 0);
    const auto entries = job.listing();
    EXPECT_GE(entries.size(), 1u);
    EXPECT_LT(entries.size(), 40u) << "packing stopped early";
    EXPECT_EQ(read_file(job.remote + "notte.zip"), read_file(job.archive));
}

}  // namespace
}  // namespace ferrolo::testing
