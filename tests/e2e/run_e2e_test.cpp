// Whole runs of the built program on real data, with its own start delay.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <set>
#include <sstream>
#include <thread>

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

// Writes job file `name` in the program folder from "KEY=value" lines, in the sections where they belong.
void write_job(const ProgramFolder& program, const std::string& name, const std::string& parameters,
               const std::string& zip_keys) {
    program.folder().write(
        name, "[PARAMETRI_LINEA_COMANDO]\r\n" + parameters + "[PARAMETRI_FILEZIP]\r\n" + zip_keys);
}

// The entries a backup of `folder` must hold, as Python walks it: real folders (with "/") and files
// that are, or link to, regular files; stored without the leading "/".
std::set<std::string> expected_entries(const std::string& folder) {
    const auto listed = run_command("/usr/bin/python3 -c " + shell_quote(R"(
import os, stat, sys
root = sys.argv[1]
for path, folders, files in os.walk(root):
    for name in list(folders):
        full = os.path.join(path, name)
        if os.path.islink(full):
            folders.remove(name)
            continue
        print(full.lstrip('/') + '/')
    for name in files:
        full = os.path.join(path, name)
        try:
            if stat.S_ISREG(os.stat(full).st_mode):
                print(full.lstrip('/'))
        except OSError:
            pass
)") + " " + shell_quote(folder));
    const auto lines = lines_of(listed.output);
    return {lines.begin(), lines.end()};
}

TEST(FullRun, BacksUpARealFolderTestsTheArchiveAndWritesTheExpectedLogs) {
    ProgramFolder program;
    const std::string source = program.folder().make_folder("doc");
    ASSERT_EQ(run_command("cp -r /usr/share/doc/[a-l]* " + shell_quote(source)).exit_status, 0);
    const std::string out = program.folder().make_folder("out") + "/";
    const std::string remote = program.folder().make_folder("remote") + "/";
    write_job(program, "notte.ini",
              "PARAM_1=" + source + "/*.*\r\nPARAM_2=" + out + "notte.zip\r\nPARAM_3=" + out +
                  "log.txt\r\nPARAM_4=" + out + "log_ext.txt\r\n",
              "TEST_ZIP=SI\r\nCANCELLA_ZIP_PRECEDENTE=SI\r\nCOPIA_SU_REMOTO3=" + remote + "\r\n");

    const ProgramRun run = program.run({"notte.ini"});
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;

    const std::string archive = out + "notte.zip";
    const auto tested = run_command("unzip -tq " + shell_quote(archive));
    EXPECT_EQ(tested.exit_status, 0) << tested.output;
    const auto listing = lines_of(run_command("unzip -Z1 " + shell_quote(archive)).output);
    const std::set<std::string> stored(listing.begin(), listing.end());
    const std::set<std::string> expected = expected_entries(source);
    EXPECT_GT(expected.size(), 1000u) << "a folder of a few thousand entries";
    EXPECT_EQ(stored, expected);
    EXPECT_EQ(listing.size(), stored.size()) << "no entry twice";

    const auto extended = crlf_lines(read_file(out + "log_ext.txt"));
    const auto count_starting = [&](const std::string& prefix) {
        return std::count_if(extended.begin(), extended.end(),
                             [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    };
    EXPECT_EQ(count_starting("Add: "), static_cast<long>(expected.size()));
    EXPECT_GE(count_starting("Test: "), 2 * static_cast<long>(expected.size()))
        << "a start and an end per entry";

    const std::string rule(68, '-');
    std::vector<std::string> written;
    for (const std::string& line : crlf_lines(read_file(out + "log.txt"))) {
        written.push_back(without_clock(line));
    }
    ASSERT_EQ(written.size(), 55u);
    const std::string tested_total = written[38];
    EXPECT_TRUE(std::regex_match(tested_total, std::regex("               Totale file testati: [0-9]+")))
        << tested_total;
    const std::vector<std::string> expected_log = {
        "",
        std::string(13, ' ') + std::string(57, '*'),
        "             *** File di Log creato in data: <when> - <when> ***",
        std::string(13, ' ') + std::string(57, '*'),
        "",
        "",
        "Cancello: " + out + "notte*.Z*",
        "    Subdir from :" + source + "/*.*",
        "       Include 1:",
        "       Include 2:",
        "       Include 3:",
        "       Include 4:",
        "       Include 5:",
        "    Filename ZIP:" + archive,
        "    File di log :" + out + "log.txt",
        "File di log est.:" + out + "log_ext.txt",
        "",
        rule,
        "",
        "",
        rule,
        "Stato:",
        "Nessun errore durante lo zipping.",
        "                    Inizio zipping: <when>",
        "                      Fine zipping: <when>",
        "                    Durata zipping: <when>",
        "               Numero file zippati: " + std::to_string(expected.size()),
        "    Numero file zippati con errori: 0",
        rule,
        "",
        rule,
        "Inizio test archivio.",
        rule,
        "Stato:",
        "Nessun errore durante il test.",
        "                    Inizio testing: <when>",
        "                        Fine copia: <when>",
        "                       Durata test: <when>",
        tested_total,
        "            Totale file con errori: 0",
        "Fine test archivio.",
        rule,
        "",
        rule,
        "                Cancello: " + remote + "notte.zip",
        "  Impossibile cancellare: " + remote + "notte.zip",
        "Inizio copia archivio su: " + remote,
        rule,
        "Stato:",
        "Nessun errore durante la copia.",
        "                      Inizio copia: <when>",
        "                        Fine copia: <when>",
        "                      Durata copia: <when>",
        "Fine copia archivio su: " + remote,
        rule,
    };
    EXPECT_EQ(written, expected_log);
    EXPECT_EQ(read_file(remote + "notte.zip"), read_file(archive));
    EXPECT_NE(run.output.find("Stato: Zipping terminato."), std::string::npos);
    EXPECT_NE(program.agent_log().find("F_Main\\Append_Log\\Fine test archivio."), std::string::npos);
}

TEST(FullRun, CtrlCDuringPackingStopsItLeavesAValidArchiveAndRunsTheLaterSteps) {
    ProgramFolder program;
    const std::string source = program.folder().make_folder("big");
    // Text that deflates slowly at the highest level, so packing lasts seconds.
    ASSERT_EQ(run_command("/usr/bin/python3 -c " + shell_quote(R"(
import random, sys
random.seed(7)
words = [''.join(random.choice('abcdefghijklmnopqrstuvwxyz') for _ in range(random.randint(2, 9))) for _ in range(5000)]
for n in range(40):
    with open(f'{sys.argv[1]}/part{n:02}.txt', 'w') as out:
        out.write(' '.join(random.choice(words) for _ in range(800000)))
)") + " " + shell_quote(source))
                  .exit_status,
              0);
    const std::string out = program.folder().make_folder("out") + "/";
    const std::string remote = program.folder().make_folder("remote") + "/";
    write_job(program, "notte.ini",
              "PARAM_1=" + source + "/*.*\r\nPARAM_2=" + out + "notte.zip\r\nPARAM_3=" + out +
                  "log.txt\r\nPARAM_4=" + out + "log_ext.txt\r\n",
              "TEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + remote + "\r\n");

    RunningProgram running = program.start({"notte.ini"});
    ASSERT_TRUE(running.wait_for_output("Stato: Zipping in corso...", std::chrono::seconds(30)));
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (read_file(out + "log_ext.txt").find("Add: ") == std::string::npos &&
           std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    running.send(SIGINT);
    const ProgramRun run = running.finish();
    EXPECT_EQ(run.exit_status, 1) << "a stopped backup is incomplete";

    const auto lines = crlf_lines(read_file(out + "log.txt"));
    const auto stopped = std::find(lines.begin(), lines.end(), "Copia interrotta dall'utente.");
    ASSERT_NE(stopped, lines.end());
    EXPECT_EQ(*(stopped + 1), "");
    EXPECT_EQ(*(stopped + 2), std::string(68, '-'));
    EXPECT_EQ(*(stopped + 3), "Stato:");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Inizio test archivio."), lines.end())
        << "the test still runs";
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Fine copia archivio su: " + remote), lines.end())
        << "the copies still run";

    const auto tested = run_command("unzip -tq " + shell_quote(out + "notte.zip"));
    EXPECT_EQ(tested.exit_status, 0) << tested.output;
    const auto entries = lines_of(run_command("unzip -Z1 " + shell_quote(out + "notte.zip")).output);
    EXPECT_GE(entries.size(), 1u);
    EXPECT_LT(entries.size(), 40u) << "packing stopped early";
    EXPECT_EQ(read_file(remote + "notte.zip"), read_file(out + "notte.zip"));
    EXPECT_NE(run.output.find("Annulla"), std::string::npos);
}

}  // namespace
}  // namespace ferrolo::testing
