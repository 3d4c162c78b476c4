// The built program in its console, copied into a program folder of its own and run there as a scheduler
// runs it, with its real start delay.
#include <regex>
#include <set>

#include "mail/mail_message.h"
#include "platform/file_system.h"
#include "tests/e2e/program_folder.h"
#include "tests/mail/smtp_servers.h"
#include "tests/support/command.h"
#include "tests/support/fake_systemctl.h"

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

TEST(ProgramStart, ApplicationLogThatCannotBeCreatedSaysWhyAndEndsWithStatusThree) {
    ProgramFolder program;
    program.make_folder("Ferrolo.LOG");
    const ProgramRun run = program.run({});
    EXPECT_EQ(run.exit_status, 3);
    EXPECT_EQ(run.errors, "AGENTE: impossibile creare file di log !\n") << "said once";
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
    TestServer sink("smtp_sink.py", "--user notte --password Pa55-w0rd!");
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
    // The report's ZIP file goes with the mail.
    const std::string report = job.out + "log_ext.PDF";
    const std::string report_zip = job.out + "log_ext.ZIP";
    for (const auto& [mark, text] : {std::pair<std::string, std::string>{"<report>", report_zip},
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

    // The report of the extended log, and its ZIP file for the mail, beside the log.
    const auto check = run_command("qpdf --check " + shell_quote(report));
    EXPECT_EQ(check.exit_status, 0) << check.output;
    const auto shown =
        crlf_lines(run_command("pdftotext -raw -eol dos " + shell_quote(report) + " -").output);
    EXPECT_EQ(count_starting(shown, "Add: "), static_cast<long>(expected.size())) << "every Add line, once";
    const auto zipped = run_command("unzip -t " + shell_quote(report_zip));
    EXPECT_EQ(zipped.exit_status, 0) << zipped.output;
    EXPECT_NE(zipped.output.find("log_ext.PDF"), std::string::npos) << zipped.output;
    EXPECT_NE(run.output.find("Stato: Generazione report terminata."), std::string::npos);
    EXPECT_NE(job.program.agent_log().find("F_Main\\Append_Log\\Fine test archivio."), std::string::npos);

    // The report e-mail: the run log as it was before its last line, and the report attached.
    EXPECT_EQ(sink.file("auth.log"), "LOGIN notte ok\n");
    const std::string mail = read_by_python(sink.folder / "message-1.eml");
    EXPECT_NE(mail.find("\nto: Ufficio IT <it@example.com>\n"), std::string::npos);
    std::string mailed = read_file(job.out + "log.txt");
    mailed.erase(mailed.find("Allego file: "));
    EXPECT_NE(mail.find("\ntext: 7bit " + mail::base64(std::regex_replace(mailed, std::regex("\r\n"), "\n")) +
                        "\nattachment: log_ext.ZIP " + mail::base64(read_file(report_zip)) + "\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("Stato: Invio mail terminato."), std::string::npos);
    for (const std::string& secret : {std::string("Pa55-w0rd!"), mail::base64("Pa55-w0rd!")}) {
        EXPECT_EQ(run.output.find(secret), std::string::npos) << "the trace shows no password";
        EXPECT_EQ(job.program.agent_log().find(secret), std::string::npos) << "nor does the application log";
    }
}

TEST(FullRun, CtrlCDuringPackingStopsItLeavesAValidShorterArchiveAndRunsTheLaterSteps) {
    NightlyJob job;
    write_slow_files(job.source, 40);
    job.write_job("TEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + job.remote + "\r\n");
    write_file(job.remote + "notte.zip", "yesterday's copy");

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
    EXPECT_NE(
        std::find(stopped, lines.end(), "Copia non eseguita su: " + job.remote + " (archivio incompleto)"),
        lines.end())
        << "the copy step still runs, and keeps the earlier copy";
    EXPECT_EQ(job.unzip_test(), 0);
    const auto entries = job.listing();
    EXPECT_GE(entries.size(), 1u);
    EXPECT_LT(entries.size(), 40u) << "packing stopped early";
    EXPECT_EQ(read_file(job.remote + "notte.zip"), "yesterday's copy");
}

// A reader of standard output that goes away early, and a device as the extended log, end no run.
TEST(FullRun, ClosedStandardOutputAndNullDeviceAsExtendedLogLeaveTheRunWhole) {
    NightlyJob job;
    job.program.write("source/a.txt", "alpha");
    job.program.write(
        "notte.ini", "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=" + job.source + "/*.*\r\nPARAM_2=" + job.archive +
                         "\r\nPARAM_3=" + job.out +
                         "log.txt\r\nPARAM_4=/dev/null\r\n[PARAMETRI_FILEZIP]\r\nTEST_ZIP=SI\r\n");
    const CommandResult run = run_command("cd " + shell_quote(job.program.path()) +
                                          " && bash -c './ferrolo notte.ini | head -c 60 >/dev/null; "
                                          "exit ${PIPESTATUS[0]}'");
    EXPECT_EQ(run.exit_status, 0) << run.output;
    const auto lines = crlf_lines(read_file(job.out + "log.txt"));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Fine test archivio.") << "the log is whole";
    EXPECT_NE(job.program.agent_log().find("ShutDown Agente of Ferrolo"), std::string::npos);
}

// The nightly job naming the services "db" and "mq", with SHUTDOWN=SI, its archive `archive_name` in the
// output folder; both services run in a stand-in systemctl first on PATH, which also receives the power-off.
struct ServiceJob : NightlyJob {
    explicit ServiceJob(const std::string& archive_name = "notte.zip") {
        archive = out + archive_name;
        program.write("source/a.txt", "alpha");
        systemctl.write("db", "active");
        systemctl.write("mq", "active");
        write_job("[SERVIZI]\r\nSERVIZIO_1=db\r\nSERVIZIO_3=mq\r\n[PARAMETRI_SHUTDOWN]\r\nSHUTDOWN=SI\r\n");
    }
    // Starts the program; true once it waits for the power-off.
    bool start_until_armed() {
        program.start({"notte.ini"});
        return wait_for_text(program / ".stdout", "Richiesta spegnimento del sistema, attendere...", 60s);
    }
    std::vector<std::string> run_log() const { return crlf_lines(read_file(out + "log.txt")); }

    const FakeSystemctl systemctl;
    // Both services queried and stopped, then both started again: the calls, and the run log's lines.
    static constexpr char kCalls[] =
        "show db; stop --no-block -- db; show mq; stop --no-block -- mq; start -- db; start -- mq; ";
    static inline const std::vector<std::string> kLines = {
        "Richiesta per servizio: db",         "Servizio: db- Stato: in esecuzione",
        "Chiusura servizio avvenuta.",        "Richiesta per servizio: mq",
        "Servizio: mq- Stato: in esecuzione", "Chiusura servizio avvenuta.",
        "Servizio: db- Stato: arrestato",     "Partenza servizio avvenuta.",
        "Servizio: mq- Stato: arrestato",     "Partenza servizio avvenuta."};
};

TEST(ServicesAndPowerOff, PowerOffFollowsFiveSecondsAfterARunThatStoppedTwoServicesForThePacking) {
    ServiceJob job;
    ASSERT_TRUE(job.start_until_armed());
    const auto armed = std::chrono::steady_clock::now();
    const ProgramRun run = job.program.finish();
    const auto waited = std::chrono::steady_clock::now() - armed;
    EXPECT_TRUE(waited > 4s && waited < 8s);
    EXPECT_EQ(run.exit_status, 0) << run.output << run.errors;
    EXPECT_EQ(read_file(job.systemctl / "calls"), std::string(ServiceJob::kCalls) + "poweroff; ");
    EXPECT_EQ(service_lines(job.run_log()), ServiceJob::kLines);
    // The trace has the run log's lines, its state lines without the colon; the packing comes between.
    const std::string trace_form =
        std::regex_replace(read_file(job.out + "log.txt"), std::regex("Servizio: "), "Servizio ");
    EXPECT_EQ(service_lines(lines_of(run.output)), service_lines(crlf_lines(trace_form))) << "the trace";
    const size_t packing = run.output.find("Inizio zipping");
    EXPECT_TRUE(run.output.rfind("Chiusura servizio") < packing &&
                packing < run.output.find("Partenza servizio"));
    EXPECT_EQ(job.run_log().back(), "Richiesto down del sistema.");
    EXPECT_NE(run.output.find("Stato: Spegnimento in corso...\n"), std::string::npos);
    const std::regex closing(R"(F_Main\\Richiesto spegnimento di Windows\r\n.*Num\. of messages: \d+\r\n)"
                             R"(.*Num\. of warnings: \d+\r\n.*ShutDown Agente of Ferrolo\r\n$)");
    EXPECT_TRUE(std::regex_search(job.program.agent_log(), closing)) << "the request, then the closing";
}

TEST(ServicesAndPowerOff, ChiudiDuringTheFiveSecondsClosesWithoutPoweringOff) {
    ServiceJob job;
    ASSERT_TRUE(job.start_until_armed());
    job.program.send(SIGTERM);
    const ProgramRun run = job.program.finish();
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.output.find("Spegnimento in corso..."), std::string::npos);
    EXPECT_EQ(read_file(job.systemctl / "calls"), ServiceJob::kCalls) << "no power-off";
    EXPECT_NE(job.run_log().back(), "Richiesto down del sistema.");
}

TEST(ServicesAndPowerOff, RunEndedByAnErrorStillStartsTheServicesAgain) {
    ServiceJob job("missing/notte.zip");
    const ProgramRun run = job.program.run({"notte.ini"});
    EXPECT_EQ(run.exit_status, 3);
    EXPECT_NE(run.errors.find("missing/notte.zip"), std::string::npos) << run.errors;
    EXPECT_EQ(read_file(job.systemctl / "calls"), ServiceJob::kCalls) << "and no power-off after an error";
    EXPECT_EQ(service_lines(job.run_log()), ServiceJob::kLines);
}

}  // namespace
}  // namespace ferrolo::testing
