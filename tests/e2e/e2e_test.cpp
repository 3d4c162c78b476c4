// The built program, copied into a program folder of its own and run there as a scheduler runs it, with its
// real start delay.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <thread>
#include <utility>

#include "mail/mail_message.h"
#include "platform/file_system.h"
#include "tests/mail/smtp_servers.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::testing {
namespace {

using namespace std::chrono_literals;

// What the file holds so far; nothing when it does not exist yet.
std::string content_of(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

// Waits until the file `path` holds `text`; false after `limit`.
bool wait_for_text(const std::string& path, const std::string& text, std::chrono::seconds limit) {
    for (const auto give_up = std::chrono::steady_clock::now() + limit;
         std::chrono::steady_clock::now() < give_up; std::this_thread::sleep_for(20ms)) {
        if (content_of(path).find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

struct ProgramRun {
    int exit_status = -1;  // -1 when the program did not exit normally
    std::string output;    // standard output
    std::string errors;    // standard error
};

class ProgramFolder : public TempFolder {
public:
    ProgramFolder() { std::filesystem::copy_file(FERROLO_BINARY, *this / "ferrolo"); }
    // Kills the program if the test did not wait for it.
    ~ProgramFolder() {
        if (running_ != 0) {
            ::kill(running_, SIGKILL);
            finish();
        }
    }

    // Starts the program in its folder, its standard output and error going to files there.
    void start(const std::vector<std::string>& arguments) {
        const std::string program = *this / "ferrolo";
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        running_ = ::fork();
        if (running_ == 0) {
            ::dup2(::open((*this / ".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            ::dup2(::open((*this / ".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            if (::chdir(path().c_str()) == 0) {
                ::execv(program.c_str(), argv.data());
            }
            ::_exit(127);
        }
    }
    void send(int signal) const { ::kill(running_, signal); }
    ProgramRun finish() {
        int status = 0;
        ::waitpid(std::exchange(running_, 0), &status, 0);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, content_of(*this / ".stdout"),
                content_of(*this / ".stderr")};
    }
    ProgramRun run(const std::vector<std::string>& arguments) {
        start(arguments);
        return finish();
    }
    std::string agent_log() const { return read_file(*this / "Ferrolo.LOG"); }

private:
    pid_t running_ = 0;
};

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

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// A program folder with a source, an output and a remote folder, and the job "notte.ini" that backs the
// source up into out/notte.zip with both logs beside it.
struct NightlyJob {
    void write_job(const std::string& zip_keys, const std::string& smtp_keys = "") const {
        program.write("notte.ini", "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=" + source + "/*.*\r\nPARAM_2=" +
                                       archive + "\r\nPARAM_3=" + out + "log.txt\r\nPARAM_4=" + out +
                                       "log_ext.txt\r\n[PARAMETRI_FILEZIP]\r\n" + zip_keys +
                                       "[PARAMETRI_SMTP]\r\n" + smtp_keys);
    }
    std::vector<std::string> listing() const {
        return lines_of(run_command("unzip -Z1 " + shell_quote(archive)).output);
    }
    int unzip_test() const { return run_command("unzip -tq " + shell_quote(archive)).exit_status; }

    ProgramFolder program;
    const std::string source = program.make_folder("source");
    const std::string out = program.make_folder("out") + "/";
    const std::string remote = program.make_folder("remote") + "/";
    const std::string archive = out + "notte.zip";
};

TEST(FullRun, BacksUpARealFolderTestsTheArchiveAndWritesTheExpectedLogs) {
    NightlyJob job;
    ASSERT_EQ(run_command("cp -r /usr/share/doc/[a-l]* " + shell_quote(job.source)).exit_status, 0);
    TestServer sink("smtp_sink.py", "--user notte --password Pa55-w0rd!");
    job.program.write("out/log_ext.PDF", "%PDF-1.4 stand-in");  // the report, until the run makes its own
    job.write_job("TEST_ZIP=SI\r\nCANCELLA_ZIP_PRECEDENTE=SI\r\nCOPIA_SU_REMOTO3=" + job.remote + "\r\n",
                  "HOST_SMTP=127.0.0.1\r\nPORT_SMTP=" + std::to_string(sink.port) +
                      "\r\nUSERID_SMTP=notte\r\nPASSWORD_SMTP=Pa55-w0rd!\r\nEMAIL_TO_1_SMTP=Ufficio IT "
                      "<it@example.com>\r\n");
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
Allego file: <report>
)";
    const std::string report =
        job.out + (platform::file_exists(job.out + "log_ext.ZIP") ? "log_ext.ZIP" : "log_ext.PDF");
    for (const auto& [mark, text] : {std::pair<std::string, std::string>{"<report>", report},
                                     {"<out>", job.out},
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

    // The report e-mail: the run log as it was before its last line, and the report attached.
    EXPECT_EQ(sink.file("auth.log"), "LOGIN notte ok\n");
    const std::string mail = read_by_python(sink.folder / "message-1.eml");
    EXPECT_NE(mail.find("\nto: Ufficio IT <it@example.com>\n"), std::string::npos);
    std::string mailed = read_file(job.out + "log.txt");
    mailed.erase(mailed.find("Allego file: "));
    EXPECT_NE(mail.find("\ntext: 7bit " + mail::base64(std::regex_replace(mailed, std::regex("\r\n"), "\n")) +
                        "\nattachment: " + std::string(platform::name_part(report)) + " " +
                        mail::base64(read_file(report)) + "\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("Stato: Invio mail terminato."), std::string::npos);
    for (const std::string& secret : {std::string("Pa55-w0rd!"), mail::base64("Pa55-w0rd!")}) {
        EXPECT_EQ(run.output.find(secret), std::string::npos) << "the trace shows no password";
        EXPECT_EQ(job.program.agent_log().find(secret), std::string::npos) << "nor does the application log";
    }
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
