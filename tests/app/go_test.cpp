// The whole run, driven as the window drives it: the start timer is fired by the test.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

#include "app/tf_main.h"
#include "platform/file_system.h"
#include "tests/support/command.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::app {
namespace {

using core::Label;
using core::Timer;
using testing::crlf_lines;
using testing::read_file;
using testing::run_command;
using testing::shell_quote;

// Bytes that deflate cannot shrink, the same for the same seed.
std::string incompressible(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

class Run : public ::testing::Test {
protected:
    Run() {
        source = data.make_folder("source");
        data.write("source/a.txt", "alpha");
        data.write("source/sub/b.txt", std::string(3000, 'b'));
        data.write("source/empty.txt", "");
        data.make_folder("source/empty-folder");
    }

    // Writes the default job file with `keys` (lines "KEY=value") in their sections, then starts.
    void start(const std::string& job_keys, CommandLine parameters = {}) {
        program.write("Ferrolo.INI", job_keys);
        if (parameters[0].empty()) {
            parameters = {source + "/*.*", archive(), data / "log.txt", data / "log_ext.txt"};
        }
        form = std::make_unique<TF_Main>(display, program / "ferrolo", parameters);
        display.events = form.get();
        form->FormCreate();
        ASSERT_TRUE(display.is_armed(Timer::T_Go)) << "the job must be runnable";
    }

    void run_job(const std::string& job_keys = "") {
        start(job_keys);
        display.fire(Timer::T_Go);
    }

    std::string archive() const { return data / "lun.zip"; }
    std::vector<std::string> run_log() const { return crlf_lines(read_file(data / "log.txt")); }
    std::vector<std::string> extended_log() const { return crlf_lines(read_file(data / "log_ext.txt")); }

    static std::string zip_keys(const std::string& keys) { return "[PARAMETRI_FILEZIP]\r\n" + keys; }

    testing::TempFolder program;
    testing::TempFolder data;
    std::string source;
    testing::RecordingDisplay display;
    std::unique_ptr<TF_Main> form;
};

TEST_F(Run, PacksEveryFileAndFolderTestsAndCopiesThenClosesTheWindow) {
    const std::string remote = data.make_folder("remote") + "/";
    run_job(zip_keys("TEST_ZIP=SI\r\nCOPIA_SU_REMOTO2=" + remote + "\r\n"));

    const auto checked = run_command("unzip -tq " + shell_quote(archive()));
    EXPECT_EQ(checked.exit_status, 0) << checked.output;
    const auto listing = run_command("unzip -Z1 " + shell_quote(archive()));
    const std::string stored = std::string(source.substr(1)) + "/";
    EXPECT_EQ(listing.output, stored + "a.txt\n" + stored + "empty.txt\n" + stored + "empty-folder/\n" +
                                  stored + "sub/\n" + stored + "sub/b.txt\n")
        << "every file and folder: a folder's files first, then its sub-folders, each sorted by name";
    EXPECT_EQ(read_file(remote + "lun.zip"), read_file(archive()));

    const auto extended = extended_log();
    EXPECT_EQ(std::count_if(extended.begin(), extended.end(),
                            [](const auto& l) { return l.rfind("Add: ", 0) == 0; }),
              5);
    EXPECT_EQ(std::count(extended.begin(), extended.end(), "Add: " + source + "/sub/b.txt"), 1);
    EXPECT_GT(std::count_if(extended.begin(), extended.end(),
                            [](const auto& l) { return l.rfind("Test: ", 0) == 0; }),
              0);
    EXPECT_EQ(form->exit_status(), core::ExitStatus::Clean);
    EXPECT_EQ(display.close_count, 1);
    const std::string agent_log = read_file(program / "Ferrolo.LOG");
    EXPECT_GT(agent_log.rfind("ShutDown Agente of Ferrolo"), agent_log.rfind("F_Main\\Append_Log\\"))
        << "the agent closes after the run's last line";
}

TEST_F(Run, AutomaticNameStampsTheArchiveAndTheDeletionMaskFollowsIt) {
    data.write("lun.zip", "an archive of an earlier run");
    run_job(zip_keys("NOMEFILE_AUTOMATICO=SI\r\nCANCELLA_ZIP_PRECEDENTE=SI\r\nTEST_ZIP=NO\r\n"));
    const std::string stamped = form->job().PARAM_2;
    EXPECT_TRUE(std::regex_match(stamped, std::regex(data.path() + R"(lun-\d{8}-\d{6}\.zip)"))) << stamped;
    EXPECT_EQ(display.label(Label::l_to), stamped) << "the window shows the new name";
    EXPECT_TRUE(platform::file_exists(stamped));
    EXPECT_TRUE(platform::file_exists(data / "lun.zip")) << "the stamped mask matches no earlier archive";
    EXPECT_EQ(run_log()[6], "Cancello: " + stamped.substr(0, stamped.size() - 4) + "*.Z*");
}

TEST_F(Run, EarlierArchivesGoInAnyCaseButOnlyThoseOfTheSameBase) {
    for (const char* name :
         {"lun.zip", "LUN.Z01", "lun-20240130-235959.zip", "lun2.zip", "other.zip", "lun.txt"}) {
        data.write(name, "old");
    }
    run_job(zip_keys("CANCELLA_ZIP_PRECEDENTE=SI\r\nTEST_ZIP=NO\r\n"));
    std::vector<std::string> left;
    for (const auto& entry : platform::find_files(data.path(), "*")) {
        left.push_back(entry.name);
    }
    EXPECT_EQ(left, (std::vector<std::string>{"log.txt", "log_ext.txt", "lun.txt", "lun.zip", "other.zip",
                                              "source"}));
    EXPECT_NE(read_file(archive()), "old");
}

TEST_F(Run, ArchiveWithoutZipInItsNameDeletesNothing) {
    data.write("backup.7z", "keep");
    data.write("notes.zip", "keep");
    start(zip_keys("CANCELLA_ZIP_PRECEDENTE=SI\r\nTEST_ZIP=NO\r\n"),
          {source + "/*.*", data / "backup", data / "log.txt", data / "log_ext.txt"});
    display.fire(Timer::T_Go);
    EXPECT_EQ(run_log()[6], "    Subdir from :" + source + "/*.*") << "no 'Cancello: ' line";
    EXPECT_EQ(read_file(data / "notes.zip"), "keep");
    EXPECT_EQ(read_file(data / "backup.7z"), "keep");
}

TEST_F(Run, CopyThatDoesNotFitFailsAloneAndTheRunGoesOnToTheNextFolder) {
    const std::string small = data.make_folder("small") + "/";
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    testing::write_file(small + "lun.zip", "previous copy");
    data.write("source/noise.bin", incompressible(300'000, 7));
    const std::string second = data.make_folder("second") + "/";
    run_job(zip_keys("TEST_ZIP=NO\r\nCOPIA_SU_REMOTO1=   \r\nCOPIA_SU_REMOTO2=" + small +
                     "\r\nCOPIA_SU_REMOTO3=" + second + "\r\n"));
    const std::string kept = read_file(small + "lun.zip");
    ::umount(small.c_str());
    EXPECT_EQ(kept, "previous copy");
    EXPECT_EQ(read_file(second + "lun.zip"), read_file(archive()));
    const auto lines = run_log();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Errori durante la copia !"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Nessun errore durante la copia."), 1);
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(),
                      [](const auto& line) { return line.rfind("Inizio copia archivio su: ", 0) == 0; }),
        2)
        << "a destination of blanks makes no copy";
    EXPECT_EQ(form->exit_status(), core::ExitStatus::StepErrors);
}

TEST_F(Run, SplitArchiveIsNeverCopied) {
    data.write("source/noise.bin", incompressible(200'000, 12345));  // needs several volumes of 65,536 bytes
    const std::string remote = data.make_folder("remote") + "/";
    run_job(zip_keys("SPLITTING=SI\r\nSIZE_SPLIT=1000\r\nCOPIA_SU_REMOTO1=" + remote +
                     "\r\nCOPIA_SU_REMOTO5=" + remote + "\r\nTEST_ZIP=SI\r\n"));
    EXPECT_TRUE(platform::file_exists(data / "lun.Z01")) << "volumes of 65,536 bytes at least";
    EXPECT_EQ(platform::path_entry(data / "lun.Z01")->size, 65536u);
    EXPECT_TRUE(platform::find_files(remote, "*").empty());
    const std::string log = read_file(data / "log.txt");
    EXPECT_EQ(log.find("copia archivio su"), std::string::npos) << "no copy block at all";
    EXPECT_NE(log.find("Nessun errore durante il test."), std::string::npos) << "the split set is tested";
    EXPECT_EQ(form->exit_status(), core::ExitStatus::Clean);
}

TEST_F(Run, FileThatVanishesBeforeItIsReadIsReportedWithCodes33And12) {
    const std::string doomed = data.write("source/sub/zz-last.txt", "gone before its turn");
    display.on_process_messages = [&] {
        if (display.label(Label::l_nfiles) == "1") {
            std::remove(doomed.c_str());
        }
    };
    run_job(zip_keys("TEST_ZIP=SI\r\n"));
    const std::string line =
        "Errore:Zip: Cannot open file \"" + doomed + "\" - Native error: 00033 33,12 processando: " + doomed;
    const auto lines = run_log();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Errori durante lo zipping !"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    Numero file zippati con errori: 1"), 1);
    EXPECT_EQ(std::count(display.trace.begin(), display.trace.end(), display.trace.front()), 1);
    EXPECT_EQ(run_command("unzip -tq " + shell_quote(archive())).exit_status, 0);
    EXPECT_EQ(form->exit_status(), core::ExitStatus::StepErrors);
}

TEST_F(Run, FifosAndLinkLoopsInTheSourceAreSkippedWithoutWaiting) {
    ASSERT_EQ(::mkfifo((source + "/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(source.c_str(), (source + "/loop").c_str()), 0);
    run_job(zip_keys("TEST_ZIP=SI\r\n"));
    const auto listing = run_command("unzip -Z1 " + shell_quote(archive())).output;
    EXPECT_EQ(listing.find("pipe"), std::string::npos);
    EXPECT_EQ(listing.find("loop"), std::string::npos);
    EXPECT_EQ(form->exit_status(), core::ExitStatus::Clean);
}

TEST_F(Run, StopDuringPackingIsLoggedBeforeTheSummaryAndTheTestStillRuns) {
    display.on_process_messages = [&] {
        if (display.label(Label::l_nfiles) == "1") {
            form->btn_annullaClick();
        }
    };
    run_job(zip_keys("TEST_ZIP=SI\r\n"));
    const auto lines = run_log();
    const auto stopped = std::find(lines.begin(), lines.end(), "Copia interrotta dall'utente.");
    ASSERT_NE(stopped, lines.end());
    EXPECT_EQ(*(stopped + 1), "");
    EXPECT_EQ(*(stopped + 3), "Stato:");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Inizio test archivio."), lines.end());
    EXPECT_EQ(std::count(display.label_changes.begin(), display.label_changes.end(),
                         std::make_pair(Label::l_stato, std::string("Copia interrotta dall'utente."))),
              1);
    EXPECT_EQ(run_command("unzip -tq " + shell_quote(archive())).exit_status, 0)
        << "a valid, shorter archive";
    EXPECT_EQ(form->exit_status(), core::ExitStatus::StepErrors);
}

TEST_F(Run, ChiudiDuringTheRunClosesOnceTheRunHasEnded) {
    display.on_process_messages = [&] {
        if (display.label(Label::l_nfiles) == "1" && display.close_count == 0) {
            form->btn_chiudiClick();
            EXPECT_EQ(display.close_count, 0) << "the run still needs its window and its logs";
        }
    };
    run_job(zip_keys("TEST_ZIP=SI\r\n"));
    EXPECT_EQ(display.close_count, 1);
    const std::string agent_log = read_file(program / "Ferrolo.LOG");
    EXPECT_EQ(agent_log.find("ShutDown Agente"), agent_log.rfind("ShutDown Agente")) << "one shut-down block";
    EXPECT_GT(agent_log.rfind("ShutDown Agente"), agent_log.rfind("Fine test archivio."))
        << "after the last line";
}

TEST_F(Run, ServiceNamesTooLongForTheServiceControlAreRefusedOnBothSides) {
    const std::string long_name(500, 's');
    run_job("[SERVIZI]\r\nSERVIZIO_2=" + long_name + "\r\nSERVIZIO_3=" + std::string(499, 'k') + "\r\n" +
            zip_keys("TEST_ZIP=NO\r\n"));
    const auto lines = run_log();
    EXPECT_EQ(lines[6], "Nome del servizio troppo lungo, servizio non fermato: " + long_name);
    EXPECT_EQ(lines.back(), "Nome del servizio troppo lungo, servizio non avviato: " + long_name);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const auto& l) { return l.find("kkk") != std::string::npos; }),
              0)
        << "499 characters fit";
}

TEST_F(Run, ArchiveThatCannotBeCreatedEndsTheRunAfterStartingTheServicesAgain) {
    const std::string long_name(600, 's');
    start("[SERVIZI]\r\nSERVIZIO_1=" + long_name + "\r\n" + zip_keys("TEST_ZIP=SI\r\n"),
          {source + "/*.*", data / "missing/lun.zip", data / "log.txt", data / "log_ext.txt"});
    display.fire(Timer::T_Go);
    EXPECT_EQ(form->exit_status(), core::ExitStatus::Fatal);
    EXPECT_EQ(display.close_count, 0) << "the window stays open with the error shown";
    EXPECT_FALSE(display.start_enabled);
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_NE(display.messages[0].text.find("missing/lun.zip"), std::string::npos)
        << display.messages[0].text;
    const auto lines = run_log();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Errore:" + display.messages[0].text)
        << "the logs say why the run ended";
    EXPECT_EQ(lines.back(), "Nome del servizio troppo lungo, servizio non avviato: " + long_name)
        << "the services are started again on the way out";
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "Inizio test archivio."), lines.end())
        << "no later step runs";
}

TEST_F(Run, FullDriveUnderAnUnsplitArchiveEndsTheRunWithoutWaiting) {
    const std::string small = data.make_folder("small");
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=128k") != 0) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    data.write("source/noise.bin", incompressible(600'000, 99));
    start(zip_keys("TEST_ZIP=SI\r\n"),
          {source + "/*.*", small + "/lun.zip", data / "log.txt", data / "log_ext.txt"});
    display.fire(Timer::T_Go);
    ::umount(small.c_str());
    const std::string log = read_file(data / "log.txt");
    EXPECT_NE(log.find("Errore"), std::string::npos) << log;
    EXPECT_NE(form->exit_status(), core::ExitStatus::Clean);
}

}  // namespace
}  // namespace ferrolo::app
