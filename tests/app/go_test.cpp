// The whole run, driven as the window drives it: the start timer is fired by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>

#include "app/tf_main.h"
#include "platform/file_system.h"
#include "tests/support/command.h"
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
        program.write("Ferrolo.INI", other_keys + "[PARAMETRI_FILEZIP]\r\n" + zip_keys);
        form = std::make_unique<TF_Main>(
            display, program / "ferrolo",
            CommandLine{source + "/*.*", archive, data / "log.txt", data / "log_ext.txt"});
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
        const std::string log = read_file(program / "Ferrolo.LOG");
        const size_t shut_down = log.find("ShutDown Agente of Ferrolo");
        ASSERT_NE(shut_down, std::string::npos);
        EXPECT_EQ(shut_down, log.rfind("ShutDown Agente of Ferrolo"));
        const size_t last = log.rfind("|F_Main\\Append_Log\\" + last_line + "\r\n");
        EXPECT_TRUE(last != std::string::npos && last < shut_down) << last_line;
    }

    testing::TempFolder program;
    testing::TempFolder data;
    const std::string source = data.make_folder("source");
    std::string archive = data / "lun.zip";
    testing::RecordingDisplay display;
    std::unique_ptr<TF_Main> form;
};

// One run meets every fault a source tree can hold: a FIFO, a link loop and a file that vanishes once the
// first entry is written; the file after it is still packed.
TEST(Go, PacksInSearchOrderSkippingFifosLinkLoopsAndVanishedFilesThenRestartsServicesAndClosesOnce) {
    Backup backup;
    ASSERT_EQ(::mkfifo((backup.source + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(backup.source.c_str(), (backup.source + "/loop").c_str()), 0);
    const std::string doomed = backup.data.write("source/sub/a-gone.txt", "gone before its turn");
    backup.display.on_process_messages = [&] {
        if (backup.display.label(Label::l_nfiles) == "1") {
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
    const std::vector<std::string> earlier = {
        "LUN.Z01", "backup.7z", "lun-20240130-235959.zip", "lun.txt", "lun.zip", "lun2.zip", "other.zip"};
    // The archive's name, further job keys, and the earlier files its run deletes.
    const std::vector<std::tuple<std::string, std::string, std::set<std::string>>> cases = {
        {"lun.zip", "", {"LUN.Z01", "lun-20240130-235959.zip", "lun2.zip"}},
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
        // The mail step clears the labels at the end; the name was shown until then.
        EXPECT_THAT(backup.display.label_changes, ::testing::Contains(std::pair{Label::l_to, written}))
            << "the window shows the name";
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

TEST(Go, DriveThatFillsUpFailsACopyAloneOrThePackingWithoutWaitingAndTheRunGoesOn) {
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

    Backup packing;  // an unsplit archive on the full drive
    packing.data.write("source/noise.bin", incompressible(600'000));
    packing.archive = small.path() + "packed.zip";
    packing.run("TEST_ZIP=SI\r\n");
    EXPECT_NE(read_file(packing.data / "log.txt").find("Errore"), std::string::npos);
    EXPECT_NE(packing.form->exit_status(), core::ExitStatus::Clean);
}

TEST(Go, SplitArchiveIsTestedButNeverCopied) {
    Backup backup;
    backup.data.write("source/noise.bin", incompressible(200'000));  // several volumes
    const std::string remote = backup.data.make_folder("remote") + "/";
    backup.run("SPLITTING=SI\r\nSIZE_SPLIT=1000\r\nCOPIA_SU_REMOTO1=" + remote +
               "\r\nCOPIA_SU_REMOTO5=" + remote + "\r\nTEST_ZIP=SI\r\n");
    EXPECT_EQ(platform::path_entry(backup.data / "lun.Z01").value_or(platform::DirEntry{}).size, 65536u)
        << "volumes of 65,536 bytes at least";
    const std::string log = read_file(backup.data / "log.txt");
    EXPECT_EQ(log.find("copia archivio su"), std::string::npos) << "no copy block at all";
    EXPECT_NE(log.find("Nessun errore durante il test."), std::string::npos) << "the split set is tested";
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::Clean);
}

// The stop itself ("Copia interrotta dall'utente." before the summary, a valid shorter archive, the later
// steps) is the end-to-end run's Ctrl-C, which presses "Annulla"; "Chiudi" also closes, but only after the
// run.
TEST(Go, ChiudiDuringPackingStopsItOnceAndTheWindowClosesOnceAfterTheRunsLastStep) {
    Backup backup;
    backup.display.on_process_messages = [&] {
        if (backup.display.label(Label::l_nfiles) == "1" && !backup.form->run_state().Stop_Requested) {
            backup.form->btn_chiudiClick();
        }
    };
    backup.run("TEST_ZIP=SI\r\n");
    EXPECT_EQ(std::count(backup.display.label_changes.begin(), backup.display.label_changes.end(),
                         std::make_pair(Label::l_stato, std::string("Copia interrotta dall'utente."))),
              1);
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::StepErrors);
    backup.expect_closed_once_after("Fine test archivio.");
}

TEST(Go, ArchiveThatCannotBeCreatedEndsTheRunWithItsErrorLoggedAfterStartingTheServicesAgain) {
    Backup backup;
    backup.archive = backup.data / "missing/lun.zip";
    backup.run("TEST_ZIP=SI\r\n", "[SERVIZI]\r\nSERVIZIO_1=" + kLongService +
                                      "\r\nSERVIZIO_3=" + std::string(499, 'k') + "\r\n");
    EXPECT_EQ(backup.form->exit_status(), core::ExitStatus::Fatal);
    EXPECT_EQ(backup.display.close_count, 0) << "the window stays open with the error shown";
    EXPECT_FALSE(backup.display.start_enabled);
    ASSERT_EQ(backup.display.messages.size(), 1u);
    const std::string error = backup.display.messages[0].text;
    EXPECT_NE(error.find("missing/lun.zip"), std::string::npos) << error;
    const auto lines = backup.run_log();
    EXPECT_EQ(lines.at(6), "Nome del servizio troppo lungo, servizio non fermato: " + kLongService);
    EXPECT_EQ(
        std::vector(lines.end() - 2, lines.end()),
        (std::vector<std::string>{"Errore:" + error,
                                  "Nome del servizio troppo lungo, servizio non avviato: " + kLongService}))
        << "the logs say why, then the services are started again; no later step; 499 characters fit";
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

}  // namespace
}  // namespace ferrolo::app
