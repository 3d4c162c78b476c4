#include "app/job_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::app {
namespace {

using testing::crlf_lines;
using testing::read_file;
using testing::TempFolder;

// Written by hand from the table of the default job file, never by the code under test.
std::string golden_default_job_file() {
    return read_file(std::string(FERROLO_APP_FIXTURES) + "/default_job.ini");
}

// The texts of the agent's lines from the main window's routines, without their "version|date|time|" stamp.
std::vector<std::string> agent_texts(const std::string& log_path) {
    std::vector<std::string> texts;
    for (const std::string& line : crlf_lines(read_file(log_path))) {
        const size_t text = line.find("|F_Main\\");
        if (text != std::string::npos) {
            texts.push_back(line.substr(text + 1));
        }
    }
    return texts;
}

TEST(DefaultJobFile, IsWrittenByteForByteAsTheHandWrittenGoldenFile) {
    const std::string golden = golden_default_job_file();
    // Guards the fixture itself against an editor or a checkout that changed its line ends.
    ASSERT_EQ(crlf_lines(golden).size(), 118u);
    ASSERT_TRUE(golden.ends_with("\r\n"));
    ASSERT_EQ(std::count(golden.begin(), golden.end(), '\n'), 118);
    ASSERT_EQ(std::count(golden.begin(), golden.end(), '\r'), 118);

    const TempFolder folder;
    Crea_File_INI(folder / "Ferrolo.INI");
    const std::string written = read_file(folder / "Ferrolo.INI");
    EXPECT_EQ(written.size(), golden.size());
    EXPECT_EQ(written, golden);

    const std::vector<std::string> lines = crlf_lines(written);
    ASSERT_EQ(lines.size(), 118u);
    EXPECT_TRUE(written.ends_with("MOSTRA_RIS_COPIE=\r\n")) << "the last line has its CR LF too";
    EXPECT_EQ(lines[0].size(), 107u);
    EXPECT_EQ(lines[24].size(), 90u);
    for (size_t line = 38; line <= 44; ++line) {
        EXPECT_EQ(lines[line - 1][line == 38 ? 9 : 8], '\t') << "line " << line;
    }
    EXPECT_EQ(lines[44].substr(0, 10), ";vs4700MB ") << "line 45 has a blank, not a tab";
    EXPECT_EQ(lines[22], "");
    EXPECT_EQ(lines[28], ";Copia su remoto (indicare full path /mnt/backup/)");
    EXPECT_EQ(lines[59], "HOST_SMTP=mail.example.com");
    EXPECT_EQ(lines[73], "MSG_EMAIL_FROM_SMTP=ferrolo@example.com");
    EXPECT_EQ(lines[99].substr(0, 24), ";La mail di debug verr\xC3\xA0") << "the \"a grave\" in UTF-8";
}

TEST(DefaultJobFile, ReplacesALongerFileOfTheSameName) {
    const TempFolder folder;
    const std::string path = folder.write("job.ini", std::string(20000, 'x'));
    Crea_File_INI(path);
    EXPECT_EQ(read_file(path), golden_default_job_file());
}

TEST(DefaultJobFile, FailsSilentlyWhereItCannotBeWritten) {
    const TempFolder folder;
    EXPECT_NO_THROW(Crea_File_INI(folder / "missing/job.ini"));
    EXPECT_FALSE(platform::file_exists(folder / "missing/job.ini"));
    const std::string taken = folder.make_folder("job.ini");
    EXPECT_NO_THROW(Crea_File_INI(taken));
    EXPECT_TRUE(platform::folder_exists(taken));
}

// Limits the size of the files this process writes, as a full disk would, until the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        // A write past the limit then fails with EFBIG instead of ending the process.
        saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, saved_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*saved_handler_)(int) = SIG_DFL;
};

TEST(DefaultJobFile, LeavesNoHalfWrittenFileToBeReadAsTheJob) {
    const TempFolder folder;
    {
        const FileSizeLimit limit(1000);
        Crea_File_INI(folder / "job.ini");
    }
    EXPECT_FALSE(platform::file_exists(folder / "job.ini"));
}

class JobFileReading : public ::testing::Test {
protected:
    JobFileReading() {
        agent.Path_Agente = folder.path();
        agent.FileName = "Ferrolo";
        agent.ApplicationName = "Ferrolo";
        agent.VersionOfApplication = "1.0.0.0";
        agent.StartUp();
    }

    bool read_job(std::string_view content) {
        folder.write("job.ini", content);
        return read_job();
    }
    bool read_job() { return Leggi_File_INI(job_path, job, state, agent); }

    std::vector<std::string> agent_messages() const { return agent_texts(folder / "Ferrolo.LOG"); }

    TempFolder folder;
    std::string job_path = folder / "job.ini";
    report::TAgente agent;
    core::JobSettings job;
    core::RunState state;
};

TEST_F(JobFileReading, PutsEveryKeyIntoItsOwnField) {
    const bool read = read_job(
        "[PARAMETRI_LINEA_COMANDO]\r\n"
        "PARAM_1=/data/*.*\r\nPARAM_2=/backup/lun.zip\r\nPARAM_3=/logs/run.txt\r\nPARAM_4=/logs/ext.txt\r\n"
        "INCLUDE_1=/i1\r\nINCLUDE_2=/i2\r\nINCLUDE_3=/i3\r\nINCLUDE_4=/i4\r\nINCLUDE_5=/i5\r\n"
        "[PARAMETRI_FILEZIP]\r\n"
        "TEST_ZIP=NO\r\nSPLITTING=SI\r\nADVANCED_NAME_ZIP=SI\r\nSIZE_SPLIT=vs100MB\r\n"
        "CANCELLA_ZIP_PRECEDENTE=NO\r\nNOMEFILE_AUTOMATICO=SI\r\n"
        "COPIA_SU_REMOTO1=/r1\r\nCOPIA_SU_REMOTO2=/r2\r\nCOPIA_SU_REMOTO3=/r3\r\nCOPIA_SU_REMOTO4=/r4\r\n"
        "COPIA_SU_REMOTO5=/r5\r\n"
        "[PARAMETRI_SMTP]\r\n"
        "HOST_SMTP=smtp.ferrolo.test\r\nPORT_SMTP=587\r\nPROT_SSL=SI\r\nSEND_ATTACHMENT=NO\r\n"
        "USERID_SMTP=operator\r\nPASSWORD_SMTP=secret\r\nMSG_FROM_SMTP=Server di backup\r\n"
        "MSG_EMAIL_FROM_SMTP=backup@ferrolo.test\r\nMSG_SUBJECT_SMTP=Copie\r\n"
        "EMAIL_TO_1_SMTP=a1@ferrolo.test\r\nEMAIL_TO_2_SMTP=a2@ferrolo.test\r\nEMAIL_TO_3_SMTP=a3@ferrolo."
        "test\r\n"
        "EMAIL_TO_4_SMTP=a4@ferrolo.test\r\nEMAIL_TO_5_SMTP=a5@ferrolo.test\r\n"
        "EMAIL_DEBUG=debug@ferrolo.test\r\nEMAIL_DEBUG_TO_DATE=31/12/2030\r\n"
        "[PARAMETRI_SHUTDOWN]\r\nSHUTDOWN=SI\r\n"
        "[SERVIZI]\r\nSERVIZIO_1=mysql\r\nSERVIZIO_2=nginx\r\nSERVIZIO_3=cron\r\n"
        "[VARIE]\r\nMOSTRA_RIS_COPIE=SI\r\n");

    EXPECT_TRUE(read);
    EXPECT_EQ(job.PARAM_1, "/data/*.*");
    EXPECT_EQ(job.PARAM_2, "/backup/lun.zip");
    EXPECT_EQ(job.PARAM_3, "/logs/run.txt");
    EXPECT_EQ(job.PARAM_4, "/logs/ext.txt");
    EXPECT_EQ(job.INCLUDE, (std::array<std::string, 5>{"/i1", "/i2", "/i3", "/i4", "/i5"}));
    EXPECT_FALSE(job.TEST_ZIP);
    EXPECT_TRUE(job.SPLITTING);
    EXPECT_TRUE(job.ADVANCED_NAME_ZIP);
    EXPECT_EQ(job.SIZE_SPLIT, "VS100MB");
    EXPECT_FALSE(job.CANCELLA_ZIP_PRECEDENTE);
    EXPECT_TRUE(job.NOMEFILE_AUTOMATICO);
    EXPECT_EQ(job.COPIA_SU_REMOTO, (std::array<std::string, 5>{"/r1", "/r2", "/r3", "/r4", "/r5"}));
    EXPECT_EQ(job.HOST_SMTP, "smtp.ferrolo.test");
    EXPECT_EQ(job.PORT_SMTP, "587");
    EXPECT_TRUE(job.PROT_SSL);
    EXPECT_FALSE(job.SEND_ATTACHMENT);
    EXPECT_EQ(job.USERID_SMTP, "operator");
    EXPECT_EQ(job.PASSWORD_SMTP, "secret");
    EXPECT_EQ(job.MSG_FROM_SMTP, "Server di backup");
    EXPECT_EQ(job.MSG_EMAIL_FROM_SMTP, "backup@ferrolo.test");
    EXPECT_EQ(job.MSG_SUBJECT_SMTP, "Copie");
    EXPECT_EQ(job.EMAIL_TO_SMTP,
              (std::array<std::string, 5>{"a1@ferrolo.test", "a2@ferrolo.test", "a3@ferrolo.test",
                                          "a4@ferrolo.test", "a5@ferrolo.test"}));
    EXPECT_EQ(job.EMAIL_DEBUG, "debug@ferrolo.test");
    EXPECT_EQ(job.EMAIL_DEBUG_TO_DATE, "31/12/2030");
    EXPECT_TRUE(job.SHUTDOWN);
    EXPECT_FALSE(state.Shutdown_Requested) << "the job asks for the power-off; only closing requests it";
    EXPECT_EQ(job.SERVIZIO, (std::array<std::string, 3>{"mysql", "nginx", "cron"}));
    EXPECT_TRUE(job.MOSTRA_RIS_COPIE);

    EXPECT_EQ(agent_messages(),
              (std::vector<std::string>{"F_Main\\Leggi_File_Ini: " + job_path,
                                        "F_Main\\File: " + job_path + " letto correttamente."}));
}

TEST_F(JobFileReading, CreatesAMissingFileWithoutReadingItSoTheNextRunGetsItsValues) {
    job.TEST_ZIP = false;
    EXPECT_FALSE(read_job());
    EXPECT_EQ(read_file(job_path), golden_default_job_file());
    EXPECT_FALSE(job.TEST_ZIP) << "the new file says SI, but it is read only by the next run";
    EXPECT_FALSE(job.CANCELLA_ZIP_PRECEDENTE);
    EXPECT_EQ(job.SIZE_SPLIT, "vs1_44MB") << "the value before reading, not yet upper-cased";
    EXPECT_EQ(job.USERID_SMTP, "Ferrolo");
    EXPECT_EQ(agent_messages(),
              (std::vector<std::string>{
                  "F_Main\\Leggi_File_Ini: " + job_path,
                  "F_Main\\File: " + job_path + " non trovato creazione file con valori di default.",
                  "F_Main\\File: " + job_path + " creazione file con valori di default terminata."}));

    EXPECT_TRUE(read_job());
    EXPECT_TRUE(job.TEST_ZIP && job.CANCELLA_ZIP_PRECEDENTE && job.SEND_ATTACHMENT);
    EXPECT_FALSE(job.SPLITTING || job.ADVANCED_NAME_ZIP || job.NOMEFILE_AUTOMATICO || job.PROT_SSL ||
                 job.SHUTDOWN || job.MOSTRA_RIS_COPIE);
    EXPECT_EQ(job.SIZE_SPLIT, "VS1_44MB");
    EXPECT_EQ(job.USERID_SMTP + job.MSG_FROM_SMTP, "FerroloFerrolo");
    EXPECT_EQ(agent_messages().back(), "F_Main\\File: " + job_path + " letto correttamente.");
}

TEST_F(JobFileReading, ResetsTheMailAndPowerOffSettingsButKeepsTheRestWhenTheFileIsMissing) {
    job.SHUTDOWN = job.SPLITTING = job.PROT_SSL = true;
    state.Shutdown_Requested = true;
    job.SEND_ATTACHMENT = false;
    job.SIZE_SPLIT = "VS700MB";
    job.HOST_SMTP = job.PORT_SMTP = job.USERID_SMTP = job.PASSWORD_SMTP = job.MSG_FROM_SMTP = "earlier";
    job.MSG_EMAIL_FROM_SMTP = job.MSG_SUBJECT_SMTP = job.EMAIL_DEBUG = job.EMAIL_DEBUG_TO_DATE = "earlier";
    job.EMAIL_TO_SMTP.fill("earlier");
    // Not reset: what the command line or an earlier read left.
    job.PARAM_1 = "/data/*.*";
    job.INCLUDE[0] = job.COPIA_SU_REMOTO[0] = job.SERVIZIO[0] = "kept";
    job.TEST_ZIP = job.CANCELLA_ZIP_PRECEDENTE = job.ADVANCED_NAME_ZIP = job.NOMEFILE_AUTOMATICO = true;
    job.MOSTRA_RIS_COPIE = true;

    EXPECT_FALSE(read_job());

    EXPECT_FALSE(job.SHUTDOWN || job.SPLITTING || job.PROT_SSL || state.Shutdown_Requested);
    EXPECT_TRUE(job.SEND_ATTACHMENT);
    EXPECT_EQ(job.SIZE_SPLIT, "vs1_44MB");
    EXPECT_EQ(job.HOST_SMTP, "mail.example.com");
    EXPECT_EQ(job.PORT_SMTP, "25");
    EXPECT_EQ(job.USERID_SMTP, "Ferrolo");
    EXPECT_EQ(job.PASSWORD_SMTP, "");
    EXPECT_EQ(job.MSG_FROM_SMTP, "Ferrolo");
    EXPECT_EQ(job.MSG_EMAIL_FROM_SMTP, "ferrolo@example.com");
    EXPECT_EQ(job.MSG_SUBJECT_SMTP, "Report copie interne");
    EXPECT_EQ(job.EMAIL_TO_SMTP, (std::array<std::string, 5>{}));
    EXPECT_EQ(job.EMAIL_DEBUG + job.EMAIL_DEBUG_TO_DATE, "");

    EXPECT_EQ(job.PARAM_1, "/data/*.*");
    EXPECT_EQ(job.INCLUDE[0] + job.COPIA_SU_REMOTO[0] + job.SERVIZIO[0], "keptkeptkept");
    EXPECT_TRUE(job.TEST_ZIP && job.CANCELLA_ZIP_PRECEDENTE && job.ADVANCED_NAME_ZIP &&
                job.NOMEFILE_AUTOMATICO && job.MOSTRA_RIS_COPIE);
}

TEST_F(JobFileReading, TreatsAFolderOfTheJobFilesNameAsMissing) {
    folder.make_folder("job.ini");
    EXPECT_FALSE(read_job());
    EXPECT_TRUE(platform::folder_exists(job_path));
    EXPECT_EQ(agent_messages().at(1),
              "F_Main\\File: " + job_path + " non trovato creazione file con valori di default.");
}

TEST_F(JobFileReading, GivesEachMissingKeyItsOwnDefault) {
    job.PARAM_1 = "/data/*.*";
    job.INCLUDE[0] = job.COPIA_SU_REMOTO[0] = job.SERVIZIO[0] = "earlier";
    job.ADVANCED_NAME_ZIP = job.NOMEFILE_AUTOMATICO = job.MOSTRA_RIS_COPIE = true;

    EXPECT_TRUE(read_job("[PARAMETRI_SMTP]\r\n; nothing but a comment\r\n"));

    EXPECT_TRUE(job.TEST_ZIP);
    EXPECT_TRUE(job.CANCELLA_ZIP_PRECEDENTE);
    EXPECT_TRUE(job.SEND_ATTACHMENT);
    EXPECT_EQ(job.USERID_SMTP, "") << "a missing user id is empty, not the value before reading";
    EXPECT_EQ(job.MSG_FROM_SMTP, "");
    EXPECT_EQ(job.SIZE_SPLIT, "VS1_44MB") << "the default goes through the reading rule too";
    EXPECT_EQ(job.HOST_SMTP, "mail.example.com");
    EXPECT_EQ(job.MSG_EMAIL_FROM_SMTP, "ferrolo@example.com");
    EXPECT_EQ(job.MSG_SUBJECT_SMTP, "Report copie interne");
    EXPECT_EQ(job.PORT_SMTP, "25");
    EXPECT_FALSE(job.ADVANCED_NAME_ZIP || job.NOMEFILE_AUTOMATICO || job.MOSTRA_RIS_COPIE);
    EXPECT_EQ(job.PARAM_1, "/data/*.*");
    EXPECT_EQ(job.INCLUDE[0] + job.COPIA_SU_REMOTO[0] + job.SERVIZIO[0], "") << "always assigned";
}

TEST_F(JobFileReading, AcceptsSiInAnyCaseExceptForMostraRisCopie) {
    EXPECT_TRUE(read_job("[PARAMETRI_FILEZIP]\r\nTEST_ZIP=si\r\n[VARIE]\r\nMOSTRA_RIS_COPIE=si\r\n"));
    EXPECT_TRUE(job.TEST_ZIP);
    EXPECT_FALSE(job.MOSTRA_RIS_COPIE);

    // The quotes keep the blanks past the reader, so the trimming of the settings is what counts.
    EXPECT_TRUE(
        read_job("[PARAMETRI_FILEZIP]\r\nTEST_ZIP=\" SI\t\"\r\n[VARIE]\r\nMOSTRA_RIS_COPIE=' SI '\r\n"));
    EXPECT_TRUE(job.TEST_ZIP);
    EXPECT_TRUE(job.MOSTRA_RIS_COPIE);

    EXPECT_TRUE(
        read_job("[PARAMETRI_FILEZIP]\r\nTEST_ZIP=S I\r\nCANCELLA_ZIP_PRECEDENTE=YES\r\n"
                 "SPLITTING=Si\r\n[PARAMETRI_SMTP]\r\nSEND_ATTACHMENT=\r\n"));
    EXPECT_FALSE(job.TEST_ZIP);
    EXPECT_FALSE(job.CANCELLA_ZIP_PRECEDENTE);
    EXPECT_TRUE(job.SPLITTING);
    EXPECT_FALSE(job.SEND_ATTACHMENT) << "an empty value is not a missing key";
}

TEST_F(JobFileReading, StoresTheVolumeSizeInAsciiCapitals) {
    EXPECT_TRUE(read_job("[PARAMETRI_FILEZIP]\r\nSIZE_SPLIT=\"  vs700mb \"\r\n"));
    EXPECT_EQ(job.SIZE_SPLIT, "VS700MB");
    EXPECT_TRUE(read_job("[PARAMETRI_FILEZIP]\r\nSIZE_SPLIT=vs\xC3\xA0z\r\n"));
    EXPECT_EQ(job.SIZE_SPLIT, "VS\xC3\xA0Z");
}

TEST_F(JobFileReading, KeepsBlanksInsideQuotesOnlyForTheUntrimmedKeys) {
    EXPECT_TRUE(
        read_job("[PARAMETRI_FILEZIP]\r\nCOPIA_SU_REMOTO1=\" /mnt/copia 1/ \"\r\nCOPIA_SU_REMOTO2='  '\r\n"
                 "COPIA_SU_REMOTO3=   /mnt/unquoted/   \r\n"
                 "[PARAMETRI_SMTP]\r\nUSERID_SMTP=' operator '\r\nPASSWORD_SMTP=\"  pass word\"\r\n"
                 "HOST_SMTP=\" smtp.ferrolo.test \"\r\nMSG_SUBJECT_SMTP=' Copie '\r\nEMAIL_TO_1_SMTP=\" "
                 "a@ferrolo.test\"\r\n"
                 "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=\" /data/*.* \"\r\nINCLUDE_1=' /more/*.* '\r\n"
                 "[SERVIZI]\r\nSERVIZIO_1=\" mysql \"\r\n"));
    EXPECT_EQ(job.COPIA_SU_REMOTO[0], " /mnt/copia 1/ ");
    EXPECT_EQ(job.COPIA_SU_REMOTO[1], "  ");
    EXPECT_EQ(job.COPIA_SU_REMOTO[2], "/mnt/unquoted/") << "blanks outside quotes go with the reader";
    EXPECT_EQ(job.USERID_SMTP, " operator ");
    EXPECT_EQ(job.PASSWORD_SMTP, "  pass word");
    EXPECT_EQ(job.HOST_SMTP, "smtp.ferrolo.test");
    EXPECT_EQ(job.MSG_SUBJECT_SMTP, "Copie");
    EXPECT_EQ(job.EMAIL_TO_SMTP[0], "a@ferrolo.test");
    EXPECT_EQ(job.PARAM_1, "/data/*.*");
    EXPECT_EQ(job.INCLUDE[0], "/more/*.*");
    EXPECT_EQ(job.SERVIZIO[0], "mysql");
}

TEST_F(JobFileReading, DoesNotRecogniseAnUnderscoreBeforeTheRemoteCopyNumber) {
    EXPECT_TRUE(
        read_job("[PARAMETRI_FILEZIP]\r\nCOPIA_SU_REMOTO_1=/mnt/copia/\r\nCOPIA_SU_REMOTO2=/mnt/due/\r\n"));
    EXPECT_EQ(job.COPIA_SU_REMOTO[0], "");
    EXPECT_EQ(job.COPIA_SU_REMOTO[1], "/mnt/due/");
}

TEST_F(JobFileReading, FillsOnlyTheParametersTheCommandLineLeftEmpty) {
    job.PARAM_1 = "/cmd/*.*";
    job.PARAM_2 = "/cmd/lun.zip";
    job.PARAM_3 = "/cmd/log.txt";
    EXPECT_TRUE(
        read_job("[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=/file/*.*\r\nPARAM_2=\r\nPARAM_3=/file/log.txt\r\n"
                 "PARAM_4=  /file/log_ext.txt  \r\n"));
    EXPECT_EQ(job.PARAM_1, "/cmd/*.*");
    EXPECT_EQ(job.PARAM_2, "/cmd/lun.zip");
    EXPECT_EQ(job.PARAM_3, "/cmd/log.txt");
    EXPECT_EQ(job.PARAM_4, "/file/log_ext.txt");

    core::JobSettings blank_command_line;
    job = blank_command_line;
    EXPECT_TRUE(read_job("[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=\"   \"\r\n"));
    EXPECT_EQ(job.PARAM_1, "") << "a value of blanks leaves the parameter empty";
}

TEST_F(JobFileReading, WarnsAndKeepsTheResetValuesWhenTheFileCannotBeRead) {
    // Reading /proc/self/mem at offset 0 fails with an I/O error even for root, which no permission can
    // refuse.
    const std::string unreadable = job_path;
    std::filesystem::create_symlink("/proc/self/mem", unreadable);
    try {
        platform::ProfileFile::load(unreadable);
        GTEST_SKIP() << "/proc/self/mem could be read here";
    } catch (const std::exception&) {
    }
    job.HOST_SMTP = "earlier";
    job.TEST_ZIP = true;

    EXPECT_FALSE(read_job());

    EXPECT_EQ(job.HOST_SMTP, "mail.example.com");
    EXPECT_TRUE(job.TEST_ZIP) << "nothing was read, so the kept fields stand";
    const std::vector<std::string> log = crlf_lines(read_file(folder / "Ferrolo.LOG"));
    const auto warning = std::find(log.begin(), log.end(), "Warning Agente !");
    ASSERT_NE(warning, log.end());
    ASSERT_NE(warning + 1, log.end());
    EXPECT_TRUE(warning[1].ends_with("|F_Main\\File: " + unreadable + " non letto correttamente."));
    EXPECT_EQ(agent.WarningCount(), 1);
    EXPECT_EQ(agent_messages().size(), 2u)
        << "the message, then the warning's line; no \"letto correttamente\"";
}

}  // namespace
}  // namespace ferrolo::app
