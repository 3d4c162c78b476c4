// Whole runs of the built program on real data, with its own start delay.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <set>
#include <sstream>

#include "platform/file_system.h"
#include "tests/e2e/program_folder.h"
#include "tests/support/command.h"

namespace ferrolo::testing {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string without_clock(const std::string& line) {
    static const std::regex date_time(R"(\d\d\.\d\d\.\d{4}-\d\d:\d\d:\d\d|\d\d:\d\d:\d\d|\d\d\.\d\d\.\d{4})");
    return std::regex_replace(line, date_time, "<when>");
}

// The entries a backup of `folder` must hold, as find sees them: real folders (with "/") and files that
// are, or link to, regular files; stored without the leading "/".
std::set<std::string> expected_entries(const std::string& folder) {
    const auto lines =
        lines_of(run_command("find " + shell_quote(folder) +
                             " -mindepth 1 \\( -type d -printf '%p/\\n' \\) -o \\( -xtype f -print \\)"
                             " | cut -c2-")
                     .output);
    return {lines.begin(), lines.end()};
}

// A program folder with a source, an output and a remote folder, and the job "notte.ini" that backs the
// source up into out/notte.zip with both logs beside it.
struct NightlyJob {
    void write_job(const std::string& zip_keys) const {
        program.folder().write("notte.ini", "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=" + source +
                                                "/*.*\r\nPARAM_2=" + archive + "\r\nPARAM_3=" + out +
                                                "log.txt\r\nPARAM_4=" + out +
                                                "log_ext.txt\r\n[PARAMETRI_FILEZIP]\r\n" + zip_keys);
    }
    std::vector<std::string> listing() const {
        return lines_of(run_command("unzip -Z1 " + shell_quote(archive)).output);
    }
    int unzip_test() const { return run_command("unzip -tq " + shell_quote(archive)).exit_status; }

    ProgramFolder program;
    const std::string source = program.folder().make_folder("source");
    const std::string out = program.folder().make_folder("out") + "/";
    const std::string remote = program.folder().make_folder("remote") + "/";
    const std::string archive = out + "notte.zip";
};

TEST(FullRun, BacksUpARealFolderTestsTheArchiveAndWritesTheExpectedLogs) {
    NightlyJob job;
    ASSERT_EQ(run_command("cp -r /usr/share/doc/[a-l]* " + shell_quote(job.source)).exit_status, 0);
    job.write_job("TEST_ZIP=SI\r\nCANCELLA_ZIP_PRECEDENTE=SI\r\nCOPIA_SU_REMOTO3=" + job.remote + "\r\n");
    const ProgramRun run = job.program.run({"notte.ini"});
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;

    EXPECT_EQ(job.unzip_test(), 0);
    const auto listing = job.listing();
    const std::set<std::string> stored(listing.begin(), listing.end());
    const std::set<std::string> expected = expected_entries(job.source);
    EXPECT_GT(expected.size(), 1000u) << "a folder of a few thousand entries";
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(listing.size(), stored.size()) << "no entry twice";

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
    for (const auto& [mark, text] :
         std::vector<std::pair<std::string, std::string>>{{"<out>", job.out},
                                                          {"<source>", job.source},
                                                          {"<remote>", job.remote},
                                                          {"<entries>", std::to_string(expected.size())},
                                                          {"\n", "\r\n"}}) {
        expected_log = std::regex_replace(expected_log, std::regex(mark), text);
    }
    const std::string written = without_clock(read_file(job.out + "log.txt"));
    EXPECT_EQ(std::regex_replace(written, std::regex("testati: [0-9]+\r"), "testati: <tested>\r"),
              expected_log);
    EXPECT_EQ(read_file(job.remote + "notte.zip"), read_file(job.archive));
    EXPECT_NE(run.output.find("Stato: Zipping terminato."), std::string::npos);
    EXPECT_NE(job.program.agent_log().find("F_Main\\Append_Log\\Fine test archivio."), std::string::npos);
}

TEST(FullRun, CtrlCDuringPackingStopsItLeavesAValidShorterArchiveAndRunsTheLaterSteps) {
    NightlyJob job;
    // Text that deflates slowly at the highest level, so packing lasts seconds.
    ASSERT_EQ(run_command("/usr/bin/python3 -c " + shell_quote(R"(
import random, sys
random.seed(7)
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 9))) for _ in range(5000)]
for n in range(40):
    with open(f'{sys.argv[1]}/part{n:02}.txt', 'w') as out:
        out.write(' '.join(random.choice(words) for _ in range(800000)))
)") + " " + shell_quote(job.source))
                  .exit_status,
              0);
    job.write_job("TEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + job.remote + "\r\n");

    RunningProgram running = job.program.start({"notte.ini"});
    ASSERT_TRUE(wait_for_text(job.out + "log_ext.txt", "Add: ", std::chrono::seconds(120)));
    running.send(SIGINT);
    const ProgramRun run = running.finish();
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
