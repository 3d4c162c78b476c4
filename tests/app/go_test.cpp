// The whole run, driven as the window drives it: the start timer is fired by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

#include "app/tf_main.h"
#include "platform/file_system.h"
#include "tests/support/command.h"
#include "tests/support/fake_systemctl.h"
#include "tests/support/recording_display.h"
#include "tests/support/small_drive.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::app {
namespace {

using core::Label;
using testing::count_starting;
using testing::read_file;

// A service name the service control cannot take.
const std::string kLongService(500, 's');

// Bytes that deflate cannot shrink.
std::string incompressible(size_t size) {
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(),
                  [random = std::mt19937(7)]() mutable { return char(random()); });
    return bytes;
}

// The permission bits of `path` itself; a link shows 0777.
unsigned mode_of(const std::string& path) {
    struct stat status {};
    ::lstat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// A program folder, a data folder with a small source tree, and the form as the entry creates it.
struct Backup {
    Backup() {
        data.write("source/a.txt", "alpha");
        data.write("source/sub/b.txt", std::string(3000, 'b'));
        data.write("source/empty.txt", "");
        data.make_folder("source/empty-folder");
    }

    // Writes the job file (`zip_keys` in [PARAMETRI_FILEZIP] after the sections of `other_keys`), starts the
    // form on the source, `archive` and the two logs in the data folder, and fires the start timer.
    void run(const std::string& zip_keys, const std::string& other_keys = "") {
        testing::write_file(program_folder + "Ferrolo.INI",
                            other_keys + "[PARAMETRI_FILEZIP]\r\n" + zip_keys);
        form = std::make_unique<TF_Main>(
            display, program_folder + "ferrolo",
            CommandLine{source + "/*.*", archive, data / "log.txt", data / "log_ext.txt"},
            std::chrono::seconds(4));  // a stop or a start is waited for four seconds at most
        display.events = form.get();
        form->FormCreate();
        display.fire(core::Timer::T_Go);
    }

    std::vector<std::string> run_log() const { return testing::crlf_lines(read_file(data / "log.txt")); }
    int unzip_test() const {
        return testing::run_command("unzip -tq " + testing::shell_quote(archive)).exit_status;
    }
    // The window is closed once, and the agent shut down once, after `last_line` of the run log reached it.
    void expect_closed_once_after(const std::string& last_line) const {
        EXPECT_EQ(display.close_count, 1);
        const std::string log = read_file(program_folder + "Ferrolo.LOG");
        const size_t shut_down = log.find("ShutDown Agente of Ferrolo");
        ASSERT_NE(shut_down, std::string::npos);
        EXPECT_EQ(shut_down, log.rfind("ShutDown Agente of Ferrolo"));
        const size_t last = log.rfind("|F_Main\\Append_Log\\" + last_line + "\r\n");
        EXPECT_TRUE(last != std::string::npos && last < shut_down) << last_line;
    }

    testing::TempFolder program;
    testing::TempFolder data;
    std::string program_folder = program.path();
    const std::string source = data.make_folder("source");
    std::string archive = data / "lun.zip";
    testing::RecordingDisplay display;
    std::unique_ptr<TF_Main> form;
};

// One run meets every fault a source tree can hold: a FIFO, a link loop and a file that vanishes between
// its selection and its packing; the file after it is still packed.
TEST(Go, PacksInSearchOrderSkippingFifosLinkLoopsAndVanishedFilesThenRestartsServicesAndClosesOnce) {
    Backup backup;
    ASSERT_EQ(::mkfifo((backup.source + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(backup.source.c_str(), (backup.source + "/loop").c_str()), 0);
    const std::string doomed = backup.data.write("source/sub/a-gone.txt", "gone before its turn");
    backup.display.on_process_messages = [&] {
        // The packing's start, before any file is opened.
        if (!backup.display.label(Label::l_operation).empty()) {
            std::remove(doomed.c_str());
        }
    };
    const std::string remote = backup.data.make_folder("remote") + "/";
    backup.data.write("lun-20240130-235959.zip", "an earlier archive, kept when the job says so");
    backup.run("CANCELLA_ZIP_PRECEDENTE=NO\r\nTEST_ZIP=SI\r\nCOPIA_SU_REMOTO2=" + remote + "\r\n",
               "[SERVIZI]\r\nSERVIZIO_2=" + kLongService + "\r\n");

    EXPECT_EQ(backup.unzip_test(), 0);
    const std::string stored = backup.source.substr(1) + "/";
    EXPECT_EQ(testing::run_command("unzip -Z1 " + testing::shell_quote(backup.archive)).output,
              stored + "a.txt\n" + stored + "empty.txt\n" + stored + "empty-folder/\n" + stored + "sub/\n" +
                  stored + "sub/b.txt\n")
        << "a folder's files first, then its sub-folders, each sorted by name";
    EXPECT_TRUE(platform::file_exists(backup.data / "lun-20240130-235959.zip"));
    EXPECT_EQ(read_file(remote + "lun.zip"), read_file(backup.archive)) << "a vanished file leaves it sound";
    const std::string error =
        "Errore:Zip: Cannot open file \"" + doomed + "\" - Native error: 00033 33,12 processando: " + doomed;
    const auto lines = backup.run_log(),
               extended = testing::crlf_lines(read_file(backup.data / "log_ext.txt"));
    for (const std::string& expected : {error, std::string("Errori durante lo zipping !"),
                                        std::string("    Numero file zippati con errori: 1")}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected;
    }
    EXPECT_EQ(std::count(extended.begin(), extended.end(), error), 1);
    EXPECT_EQ(std::count_if(backup.display.trace.begin(), backup.display.trace.end(),
                            [&](const std::string& line) { return line.substr(20) == error.substr(0, 150); }),
              1)
        << "stamped and cut, in the trace too";
    const std::string restarted = "Nome del servizio troppo lungo, servizio non avviato: " + kLongService;
    EXPECT_EQ(lines.back(), restarted) << "the services are started again after the copies";
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::StepErrors);
    backup.expect_closed_once_after(restarted);
}

TEST(Go, EarlierArchivesOfTheSameBaseGoInAnyCaseAndOnlyWithAZipInTheNameWhichTheAutomaticStampExtends) {
    // Only archives and volumes go: never a folder, nor another file the mask matches.
    const std::vector<std::string> earlier = {
        "LUN.Z01",  "backup.7z",  "lun-20240130-235959.zip",   "lun.txt", "lun.zip", "lun2.zip", "other.zip",
        "lun.z100", "readme.zsh", "lun.zip_restored/kept.txt", "lun.zsh", "lun.Z"};
    // The archive's name, further job keys, and the earlier files its run deletes.
    const std::vector<std::tuple<std::string, std::string, std::set<std::string>>> cases = {
        {"lun.zip", "", {"LUN.Z01", "lun-20240130-235959.zip", "lun2.zip", "lun.z100"}},
        {"backup", "", {}},
        {"lun.zip", "NOMEFILE_AUTOMATICO=SI\r\n", {}},  // the stamped mask matches no earlier archive
    };
    for (const auto& [archive, keys, deleted] : cases) {
        Backup backup;
        for (const std::string& name : earlier) {
            backup.data.write(name, "old");
        }
        backup.archive = backup.data / archive;
        backup.run(keys + "CANCELLA_ZIP_PRECEDENTE=SI\r\nTEST_ZIP=NO\r\n");
        const std::string written = backup.form->job().PARAM_2;
        EXPECT_GT(std::ranges::count(backup.display.label_changes, std::pair{Label::l_to, written}), 0)
            << "the window shows the name (until the report and the mail clear the labels)";
        EXPECT_TRUE(platform::file_exists(written)) << "deleted before packing, never after";
        for (const std::string& name : earlier) {
            if (name != platform::name_part(written)) {
                EXPECT_EQ(platform::file_exists(backup.data / name), deleted.count(name) == 0) << name;
            }
        }
        EXPECT_EQ(backup.run_log()[6], archive == "backup"
                                           ? "    Subdir from :" + backup.source + "/*.*"
                                           : "Cancello: " + written.substr(0, written.find(".zip")) + "*.Z*")
            << "a 'Cancello: ' line only with a mask";
    }
}

// A full drive under the archive itself is the unsound archive's test, below.
TEST(Go, DriveThatFillsUpFailsTheCopyToItAloneAndTheRunGoesOn) {
    testing::SmallDrive small("64k");
    if (!small.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    testing::write_file(small.path() + "lun.zip", "previous copy");
    Backup copying;
    copying.data.write("source/noise.bin", incompressible(300'000));
    const std::string next = copying.data.make_folder("next") + "/";
    copying.run("TEST_ZIP=NO\r\nCOPIA_SU_REMOTO1=   \r\nCOPIA_SU_REMOTO2=" + small.path() +
                "\r\nCOPIA_SU_REMOTO3=" + next + "\r\n");
    EXPECT_EQ(read_file(small.path() + "lun.zip"), "previous copy");
    EXPECT_EQ(platform::find_files(small.path(), "*").size(), 1u) << "no temporary file is left";
    EXPECT_EQ(read_file(next + "lun.zip"), read_file(copying.archive));
    const auto lines = copying.run_log();
    EXPECT_EQ(count_starting(lines, "Inizio copia archivio su: "), 2)
        << "a destination of blanks makes no copy";
    EXPECT_EQ(count_starting(lines, "  Impossibile cancellare: "), 1) << "only the new folder had no copy";
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Errori durante la copia !"), 1);
    EXPECT_EQ(copying.form->exit_status(), core::ExitStatus::StepErrors);
}

// A split set is tested, by 7-Zip too as it lies on disk, beside a stale set of the other naming scheme.
TEST(Go, SplitArchiveIsTestedButNeverCopied) {
    Backup backup;
    backup.data.write("source/noise.bin", incompressible(200'000));  // several volumes
    backup.data.write("lun_001.zip", "a stale volume of the other scheme");
    const std::string remote = backup.data.make_folder("remote") + "/";
    backup.run("SPLITTING=SI\r\nSIZE_SPLIT=1000\r\nCOPIA_SU_REMOTO1=" + remote +
               "\r\nCOPIA_SU_REMOTO5=" + remote + "\r\nTEST_ZIP=SI\r\n");
    EXPECT_EQ(platform::path_entry(backup.data / "lun.z01").value_or(platform::DirEntry{}).size, 65536u)
        << "volumes of 65,536 bytes at least";
    EXPECT_EQ(mode_of(backup.data / "lun.z01"), 0600u);
    const std::string log = read_file(backup.data / "log.txt");
    EXPECT_EQ(log.find("copia archivio su"), std::string::npos) << "no copy block at all";
    EXPECT_NE(log.find("\r\nSIZE_SPLIT non valido: 1000\r\n"), std::string::npos)
        << "below one volume's floor";
    EXPECT_NE(log.find("Nessun errore durante il test."), std::string::npos) << "the split set is tested";
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::Clean);
    const auto seven =
        testing::run_command("cd " + testing::shell_quote(backup.data.path()) + " && 7z t lun.zip");
    EXPECT_EQ(seven.exit_status, 0) << seven.output;
}

TEST(Go, ArchiveThatCannotBeCreatedEndsTheRunWithItsErrorLoggedAfterStartingTheServicesAgain) {
    const testing::FakeSystemctl systemctl;
    Backup backup;
    backup.archive = backup.data / "missing/lun.zip";
    backup.run("TEST_ZIP=SI\r\n", "[SERVIZI]\r\nSERVIZIO_1=" + kLongService +
                                      "\r\nSERVIZIO_3=" + kLongService.substr(1) + "\r\n");
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::Fatal);
    EXPECT_EQ(backup.display.close_count, 0) << "the window stays open with the error shown";
    EXPECT_FALSE(backup.display.start_enabled);
    ASSERT_EQ(backup.display.messages.size(), 1u);
    const std::string error = backup.display.messages[0].text;
    EXPECT_NE(error.find("missing/lun.zip"), std::string::npos) << error;
    const auto lines = backup.run_log();
    EXPECT_EQ(lines.at(6), "Nome del servizio troppo lungo, servizio non fermato: " + kLongService);
    EXPECT_EQ(std::vector(lines.end() - 4, lines.end()),
              (std::vector<std::string>{
                  "Errore:" + error, "Nome del servizio troppo lungo, servizio non avviato: " + kLongService,
                  "Servizio: " + kLongService.substr(1) + "- Stato: ", "Partenza servizio non avvenuta."}))
        << "the logs say why, then the services are started again; no later step; 499 characters fit";
}

// The service "db" named by SERVIZIO_2 between two empty names. Each case: its state before the run (empty:
// no such service), its behaviour, the run log's service lines, the calls to systemctl, its state while
// packing, the exit status.
TEST(Services, StopBeforePackingAndStartAfterTheRunAsTheirStateAndBehaviourAllow) {
    const std::string ask = "Richiesta per servizio: db", running = "Servizio: db- Stato: in esecuzione",
                      stopped = "Servizio: db- Stato: arrestato",
                      unknown = "Servizio: db- Stato: ", stopping = "Servizio: db- Stato: in fase di arresto",
                      still_on = "Servizio non arrestato: db", closed = "Chiusura servizio avvenuta.",
                      unclosed = "Errore durante chiusura servizio.", started = "Partenza servizio avvenuta.",
                      failed = "Partenza servizio non avvenuta.";
    const std::string stop = "show db; stop --no-block -- db; start -- db; ",
                      start = "show db; start -- db; ";
    const auto exit0 = core::ExitStatus::Clean, exit1 = core::ExitStatus::StepErrors;
    using Case = std::tuple<std::string, std::string, std::vector<std::string>, std::string, std::string,
                            core::ExitStatus>;
    const std::vector<Case> cases = {
        {"inactive", "broken", {ask, stopped, closed, stopped, failed}, start, "inactive", exit1},
        {"active", "slow", {ask, running, closed, stopped, started}, stop, "inactive", exit0},
        {"active", "stuck", {ask, running, still_on, closed, stopping, started}, stop, "deactivating", exit1},
        {"", "", {ask, unknown, unclosed, unknown, failed}, "show db; ", "", exit1},
    };
    for (const auto& [state, behaviour, lines, calls, state_when_packing, exit_status] : cases) {
        SCOPED_TRACE(state + " " + behaviour);
        const testing::FakeSystemctl systemctl;
        systemctl.write("db", state);
        systemctl.write("db." + behaviour, "");
        Backup backup;
        std::string packed_while;
        backup.display.on_process_messages = [&] {  // once the first file is packed
            packed_while =
                backup.display.label(Label::l_nfiles) == "1" ? read_file(systemctl / "db") : packed_while;
        };
        backup.run("TEST_ZIP=NO\r\n", "[SERVIZI]\r\nSERVIZIO_1=\r\nSERVIZIO_2=db\r\nSERVIZIO_3=\r\n");

        EXPECT_EQ(testing::service_lines(backup.run_log()), lines);
        EXPECT_EQ(count_starting(testing::service_lines(backup.display.trace), "Servizio non trovato: db"),
                  state.empty() ? 2 : 0);
        EXPECT_EQ(read_file(systemctl / "calls"), calls) << "no call for an empty name";
        EXPECT_EQ(packed_while, state_when_packing);
        EXPECT_EQ(backup.form->exit_status(), exit_status) << "the run goes on to its end";
    }
}

// The drive of the application log fills, to its last byte, when "db" is asked to start; "mq" is started
// after it all the same.
TEST(Services, AreStartedAgainBeforeAFailingApplicationLogEndsTheRunWithStatusThree) {
    testing::SmallDrive drive("256k");
    if (!drive.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    const testing::FakeSystemctl systemctl;
    systemctl.write("db", "active");
    systemctl.write("mq", "active");
    systemctl.write("db.on-start",
                    "cat /dev/zero > " + drive.path() + "filler; yes >> " + drive.path() + "Ferrolo.LOG");
    Backup backup;
    backup.program_folder = drive.path();
    backup.run("TEST_ZIP=NO\r\n", "[SERVIZI]\r\nSERVIZIO_1=db\r\nSERVIZIO_2=mq\r\n");
    EXPECT_EQ(read_file(systemctl / "calls"),
              "show db; stop --no-block -- db; show mq; stop --no-block -- mq; start -- db; start -- mq; ");
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::Fatal);
    ASSERT_EQ(backup.display.messages.size(), 1u);
    EXPECT_EQ(backup.display.messages[0].text, "AGENTE: impossibile aggiornare il file di log !");
}

TEST(Go, AFailedMailEndsTheRunWithStepErrorsButAPortThatIsNoNumberEndsItAfterRestartingTheServices) {
    // Nothing listens on port 1.
    for (const auto& [port, status, failure] :
         {std::tuple{"1", core::ExitStatus::StepErrors, "Errore di connessione a: 127.0.0.1:1"},
          {"25x", core::ExitStatus::Fatal, "Errore:'25x' is not a valid integer value"}}) {
        Backup backup;
        backup.run("TEST_ZIP=NO\r\n",
                   "[PARAMETRI_SMTP]\r\nHOST_SMTP=127.0.0.1\r\nPORT_SMTP=" + std::string(port) +
                       "\r\nEMAIL_TO_1_SMTP=it@example.com\r\n[SERVIZI]\r\nSERVIZIO_1=" + kLongService +
                       "\r\n");
        EXPECT_EQ(backup.form->exit_status(), status) << port;
        const auto& trace = backup.display.trace;
        ASSERT_EQ(std::count_if(
                      trace.begin(), trace.end(),
                      [ending = std::string(failure)](const auto& line) { return line.ends_with(ending); }),
                  1)
            << port;
        EXPECT_THAT(trace.back(),
                    ::testing::HasSubstr("\\Nome del servizio troppo lungo, servizio non avviato: "))
            << "the services come back after the mail, whatever it did";
    }
}

// An archive that comes out unsound, made real (a full drive, a source that selects nothing): the copy of
// yesterday stays byte for byte, the log says why, and the scheduler sees status 1. A stop while packing is
// FullRun.CtrlCDuringPacking's.
TEST(Go, UnsoundArchiveKeepsThePreviousCopyUntouchedAndEndsWithStatusOne) {
    testing::SmallDrive small("64k");
    if (!small.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    for (const std::string fault : {"full drive", "empty source and missing include"}) {
        Backup backup;
        const std::string remote = backup.data.make_folder("remote") + "/";
        testing::write_file(remote + "lun.zip", "yesterday's good copy");
        const std::string gone = backup.data / "gone/*.*";
        std::vector<std::string> empty_masks;
        if (fault == "full drive") {
            backup.data.write("source/noise.bin", incompressible(300'000));
            backup.archive = small.path() + "lun.zip";
        } else {
            std::filesystem::remove_all(backup.source);
            backup.data.make_folder("source");  // an unmounted mount point looks so
            empty_masks = {backup.source + "/*.*", gone};
        }
        backup.run("TEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + remote + "\r\n",
                   empty_masks.empty() ? "" : "[PARAMETRI_LINEA_COMANDO]\r\nINCLUDE_2=" + gone + "\r\n");
        EXPECT_EQ(read_file(remote + "lun.zip"), "yesterday's good copy") << fault;
        EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::StepErrors) << fault;
        const auto lines = backup.run_log();
        const std::string skipped = "Copia non eseguita su: " + remote + " (archivio incompleto)";
        EXPECT_EQ(std::count(lines.begin(), lines.end(), skipped), 1) << fault;
        EXPECT_EQ(std::count_if(backup.display.trace.begin(), backup.display.trace.end(),
                                [&](const std::string& traced) { return traced.ends_with(skipped); }),
                  1);
        for (const std::string& mask : empty_masks) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), "Nessun file trovato: " + mask), 1) << mask;
        }
    }
}

// "Chiudi" (SIGTERM's button) during the full-drive wait stops the packing at once, as any stop does, and
// closes the window once after the run's last step. The stop itself (a valid shorter archive, the later
// steps) is the end-to-end run's Ctrl-C, which presses "Annulla".
TEST(Go, ChiudiDuringTheWaitForRoomStopsThePackingAtOnceAndClosesOnceAfterTheLastStep) {
    testing::SmallDrive small("192k");
    if (!small.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    Backup backup;
    backup.data.write("source/noise.bin", incompressible(400'000));
    backup.archive = small.path() + "lun.zip";
    backup.display.on_process_messages = [&] {
        if (!backup.display.trace.empty() && backup.display.trace.back().ends_with("pieno !") &&
            !backup.form->run_state().Stop_Requested) {
            backup.form->btn_chiudiClick();
        }
    };
    const auto started = std::chrono::steady_clock::now();
    backup.run("SPLITTING=SI\r\nSIZE_SPLIT=65536\r\nTEST_ZIP=SI\r\n",
               "[SERVIZI]\r\nSERVIZIO_2=" + kLongService + "\r\n");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    const auto lines = backup.run_log();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Disco di destinazione pieno !"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Copia interrotta dall'utente."), 1);
    EXPECT_EQ(lines.back(), "Nome del servizio troppo lungo, servizio non avviato: " + kLongService);
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::StepErrors)
        << "the cancelled write is no fatal error";
    backup.expect_closed_once_after(lines.back());
}

// A run killed with SIGKILL while it packs, or while it copies, leaves yesterday's archive and copy whole
// under their names; the next run removes what the killed one left.
TEST(Go, KillAtAnyMomentLeavesThePreviousArchiveAndCopyAndTheNextRunRemovesTheLeftovers) {
    const auto has_temporaries = [](const std::string& folder) {
        return !platform::find_files(folder, ".ferrolo-*").empty();
    };
    for (const bool while_packing : {true, false}) {
        Backup backup;
        backup.data.write("source/noise.bin", incompressible(6'000'000));
        const std::string remote = backup.data.make_folder("remote") + "/";
        const std::string keys =
            "CANCELLA_ZIP_PRECEDENTE=NO\r\nTEST_ZIP=NO\r\nCOPIA_SU_REMOTO1=" + remote + "\r\n";
        backup.run(keys);
        const std::string yesterday = read_file(backup.archive);
        backup.data.write("source/today.txt", "new since yesterday");
        const pid_t child = ::fork();
        if (child == 0) {
            backup.run(keys);
            ::_exit(0);
        }
        const std::string watched = while_packing ? backup.data.path() : remote;
        for (int tries = 0; tries < 20000 && !has_temporaries(watched); ++tries) {
            ::usleep(100);
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << while_packing << ": the run ended before the kill";
        EXPECT_EQ(read_file(backup.archive) == yesterday, while_packing) << "while copying, today's is whole";
        EXPECT_TRUE(read_file(remote + "lun.zip") == yesterday) << while_packing;
        EXPECT_EQ(backup.unzip_test(), 0);
        EXPECT_TRUE(has_temporaries(watched)) << "the killed run left its temporary file";

        backup.run(keys);
        EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::Clean) << while_packing;
        EXPECT_FALSE(has_temporaries(backup.data.path()) || has_temporaries(remote)) << while_packing;
    }
}

// Backups are the owner's alone whatever the umask, and replace a link another user planted at their names
// instead of writing through it; logs follow the umask.
TEST(Go, ArchiveAndCopiesAreOwnerOnlyAndReplaceALinkPlantedByAnotherUser) {
    const mode_t mask = ::umask(022);
    Backup backup;
    const std::string remote = backup.data.make_folder("remote") + "/";
    const std::string victim = backup.data.write("victim", "another user's file");
    for (const std::string& link : {backup.archive, remote + "lun.zip"}) {
        ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
        EXPECT_TRUE(::geteuid() != 0 || ::lchown(link.c_str(), 65534, 65534) == 0);
    }
    backup.run("TEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + remote + "\r\n");
    ::umask(mask);
    EXPECT_EQ(mode_of(backup.archive), 0600u);
    EXPECT_EQ(mode_of(remote + "lun.zip"), 0600u);
    EXPECT_EQ(read_file(victim), "another user's file");
    EXPECT_EQ(mode_of(backup.data / "log.txt"), 0644u);
}

// Info-ZIP and 7-Zip extract every name exactly: an accented one (code page 850, its UTF-8 name beside),
// one outside that code page (UTF-8), and ones only alike to the job's own files, which are left out by
// identity.
TEST(Go, PeersExtractEveryNameOfTheSourceExactlyAndNoneOfTheJobsOwnFiles) {
    Backup backup;
    backup.archive = backup.source + "/lun.zip";
    const std::vector<std::string> names = {"città è.txt", "日本.txt", "LUN.ZIP", "lun?zip"};
    for (const std::string& name : names) {
        backup.data.write("source/" + name, name);
    }
    backup.data.write("source/copies/lun.zip", "yesterday's copy");
    backup.run("CANCELLA_ZIP_PRECEDENTE=NO\r\nTEST_ZIP=SI\r\nCOPIA_SU_REMOTO1=" + backup.source +
               "/copies\r\n");
    ASSERT_EQ(backup.form->exit_status(), core::ExitStatus::Clean);
    const std::string archive = testing::shell_quote(backup.archive);
    for (const auto& [peer, extract] : {std::pair("unzip", "unzip -q " + archive + " -d unzip"),
                                        std::pair("7z", "7z x -y -o7z " + archive)}) {
        const auto run = testing::run_command("cd " + testing::shell_quote(backup.data.path()) +
                                              " && LC_ALL=C.UTF-8 " + extract);
        ASSERT_EQ(run.exit_status, 0) << run.output;
        const std::string out = backup.data.path() + peer + backup.source + "/";
        for (const std::string& name : names) {
            EXPECT_TRUE(std::filesystem::exists(out + name)) << peer << " " << name;
        }
        EXPECT_FALSE(std::filesystem::exists(out + "lun.zip") ||
                     std::filesystem::exists(out + "copies/lun.zip"))
            << peer;
    }
}

// Run as an unprivileged user, a name in a folder that may be read but not searched is a failure with
// error 33, never a silent gap in the backup.
TEST(Go, EntryThatCanBeListedButNotExaminedIsReportedWithErrorThirtyThree) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "becoming another user needs root";
    }
    Backup backup;
    const std::string hidden = backup.data.write("source/locked/secret.txt", "kept from nobody");
    for (const std::string& folder : {backup.program.path(), backup.data.path(), backup.source}) {
        ::chmod(folder.c_str(), 0777);
    }
    ::chmod((backup.source + "/locked").c_str(), 0644);  // listed, not searched
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) {  // nobody
            ::_exit(99);
        }
        backup.run("TEST_ZIP=NO\r\n");
        ::_exit(static_cast<int>(backup.form->exit_status()));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == static_cast<int>(core::ExitStatus::StepErrors));
    const auto lines = backup.run_log();
    const std::string error =
        "Errore:Zip: Cannot open file \"" + hidden + "\" - Native error: 00033 33,12 processando: " + hidden;
    EXPECT_EQ(std::count(lines.begin(), lines.end(), error), 1) << read_file(backup.data / "log.txt");
}

}  // namespace
}  // namespace ferrolo::app
