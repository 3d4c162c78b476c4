#include "app/job_file.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/profile.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::app {
namespace {

using core::JobSettings;
using testing::crlf_lines;
using testing::read_file;
using testing::TempFolder;

// Written by hand from the table of the default job file, never by the code under test.
std::string golden_default_job_file() {
    return read_file(std::string(FERROLO_APP_FIXTURES) + "/default_job.ini");
}

TEST(DefaultJobFile, IsWrittenByteForByteAsTheHandWrittenGoldenFileOverALongerOneAndNeverLeftHalfWritten) {
    const std::string golden = golden_default_job_file();
    // Guards the fixture against an editor or a checkout that changed its bytes: 118 lines, each (the last
    // too) ended by CR LF, tabs on lines 38-44 but a blank on line 45, and the "à" of line 100 in UTF-8.
    const std::vector<std::string> lines = crlf_lines(golden);
    ASSERT_EQ(lines.size(), 118u);
    ASSERT_EQ(std::count(golden.begin(), golden.end(), '\r'), 118);
    ASSERT_EQ(std::count(golden.begin(), golden.end(), '\n'), 118);
    for (size_t line = 38; line <= 45; ++line) {
        EXPECT_EQ(lines[line - 1].at(lines[line - 1].find_first_of("\t ")), line == 45 ? ' ' : '\t') << line;
    }
    EXPECT_TRUE(lines[99].starts_with(";La mail di debug verr\xC3\xA0 "));

    const TempFolder folder;
    const std::string path = folder.write("job.ini", std::string(20000, 'x'));
    Crea_File_INI(path);
    EXPECT_EQ(read_file(path), golden);

    // A full disk, where a write past the limit fails with EFBIG instead of ending the process: no file is
    // better than half a job file, which would be read as the job; and nothing is thrown.
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{1000, saved.rlim_max};
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limited);
    EXPECT_NO_THROW(Crea_File_INI(path));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(platform::file_exists(path));
}

class JobFileReading : public ::testing::Test {
protected:
    JobFileReading() {
        agent.Path_Agente = folder.path();
        agent.FileName = agent.ApplicationName = "Ferrolo";
        agent.StartUp();
    }

    bool read_job(std::string_view content) {
        folder.write("job.ini", content);
        return read_job();
    }
    bool read_job() { return Leggi_File_INI(job_path, job, state, agent); }

    // The texts of the agent's lines from the main window's routines, without their stamp.
    std::vector<std::string> agent_messages() const {
        std::vector<std::string> texts;
        for (const std::string& line : crlf_lines(read_file(folder / "Ferrolo.LOG"))) {
            if (const size_t text = line.find("|F_Main\\"); text != std::string::npos) {
                texts.push_back(line.substr(text + 1));
            }
        }
        return texts;
    }

    TempFolder folder;
    std::string job_path = folder / "job.ini";
    std::string reading = "F_Main\\Leggi_File_Ini: " + job_path, file = "F_Main\\File: " + job_path;
    report::TAgente agent;
    JobSettings job;
    core::RunState state;
};

// Every text is its key's name in quotes with blanks inside them, which the reader keeps for the settings.
// Then the file goes: the next read writes the default file but reads nothing of it.
TEST_F(JobFileReading, PutsEveryTextIntoItsOwnFieldThenResetsOnlyTheMailAndPowerOffSettingsWhenTheFileGoes) {
    const std::string command_line = "PARAMETRI_LINEA_COMANDO", smtp = "PARAMETRI_SMTP";
    // Section, key, field, whether trimmed, and the value after reading a missing file (none: kept).
    using Key = std::tuple<std::string, std::string, std::string*, bool, std::optional<std::string>>;
    std::vector<Key> keys = {
        {smtp, "HOST_SMTP", &job.HOST_SMTP, true, "mail.example.com"},
        {smtp, "PORT_SMTP", &job.PORT_SMTP, true, "25"},
        {smtp, "USERID_SMTP", &job.USERID_SMTP, false, "Ferrolo"},
        {smtp, "PASSWORD_SMTP", &job.PASSWORD_SMTP, false, ""},
        {smtp, "MSG_FROM_SMTP", &job.MSG_FROM_SMTP, true, "Ferrolo"},
        {smtp, "MSG_EMAIL_FROM_SMTP", &job.MSG_EMAIL_FROM_SMTP, true, "ferrolo@example.com"},
        {smtp, "MSG_SUBJECT_SMTP", &job.MSG_SUBJECT_SMTP, true, "Report copie interne"},
        {smtp, "EMAIL_DEBUG", &job.EMAIL_DEBUG, true, ""},
        {smtp, "EMAIL_DEBUG_TO_DATE", &job.EMAIL_DEBUG_TO_DATE, true, ""}};
    std::string* const params[] = {&job.PARAM_1, &job.PARAM_2, &job.PARAM_3, &job.PARAM_4};
    for (size_t n = 1; n <= 5; ++n) {
        const std::string number = std::to_string(n);
        keys.emplace_back(command_line, "INCLUDE_" + number, &job.INCLUDE[n - 1], true, std::nullopt);
        keys.emplace_back(smtp, "EMAIL_TO_" + number + "_SMTP", &job.EMAIL_TO_SMTP[n - 1], true, "");
        keys.emplace_back("PARAMETRI_FILEZIP", "COPIA_SU_REMOTO" + number, &job.COPIA_SU_REMOTO[n - 1], false,
                          std::nullopt);
        if (n <= 4) {
            keys.emplace_back(command_line, "PARAM_" + number, params[n - 1], true, std::nullopt);
        }
        if (n <= 3) {
            keys.emplace_back("SERVIZI", "SERVIZIO_" + number, &job.SERVIZIO[n - 1], true, std::nullopt);
        }
    }
    // Each flag set against both its default and its value after reading a missing file.
    std::string content =
        "[PARAMETRI_FILEZIP]\r\nSIZE_SPLIT=' vs700mb '\r\nTEST_ZIP=NO\r\nCANCELLA_ZIP_PRECEDENTE=NO\r\n"
        "SPLITTING=SI\r\nADVANCED_NAME_ZIP=SI\r\nNOMEFILE_AUTOMATICO=SI\r\n[VARIE]\r\nMOSTRA_RIS_COPIE=SI\r\n"
        "[PARAMETRI_SMTP]\r\nPROT_SSL=SI\r\nSEND_ATTACHMENT=NO\r\n[PARAMETRI_SHUTDOWN]\r\nSHUTDOWN=SI\r\n";
    for (const auto& [section, key, field, trimmed, after_missing] : keys) {
        content += "[" + section + "]\r\n" + key + "=\" /" + key + "/ \"\r\n";
    }

    EXPECT_TRUE(read_job(content));
    for (const auto& [section, key, field, trimmed, after_missing] : keys) {
        EXPECT_EQ(*field, trimmed ? "/" + key + "/" : " /" + key + "/ ") << key;
    }
    EXPECT_EQ(job.SIZE_SPLIT, "VS700MB");

    std::filesystem::remove(job_path);
    state.Shutdown_Requested = true;
    EXPECT_FALSE(read_job());
    EXPECT_EQ(read_file(job_path), golden_default_job_file());
    for (const auto& [section, key, field, trimmed, after_missing] : keys) {
        EXPECT_EQ(*field, after_missing.value_or(trimmed ? "/" + key + "/" : " /" + key + "/ ")) << key;
    }
    EXPECT_EQ(job.SIZE_SPLIT, "vs1_44MB");
    EXPECT_EQ((std::vector<bool>{job.SHUTDOWN, job.SPLITTING, job.PROT_SSL, state.Shutdown_Requested,
                                 job.SEND_ATTACHMENT, job.TEST_ZIP, job.CANCELLA_ZIP_PRECEDENTE,
                                 job.ADVANCED_NAME_ZIP, job.NOMEFILE_AUTOMATICO, job.MOSTRA_RIS_COPIE}),
              (std::vector<bool>{false, false, false, false, true, false, false, true, true, true}));

    EXPECT_TRUE(read_job()) << "the next run reads the new file";
    EXPECT_TRUE(job.TEST_ZIP && job.CANCELLA_ZIP_PRECEDENTE);
    EXPECT_EQ(agent_messages(),
              (std::vector<std::string>{reading, file + " letto correttamente.", reading,
                                        file + " non trovato creazione file con valori di default.",
                                        file + " creazione file con valori di default terminata.", reading,
                                        file + " letto correttamente."}));
}

// Each flag is set, alone, against its value when missing; every other flag must keep its own. Every text is
// missing too but for the parameters, which fill only what the command line left empty.
TEST_F(JobFileReading, GivesEveryFlagItsOwnFieldAndEveryMissingKeyItsDefaultButKeepsTheCommandLine) {
    // Section, key, field, and the value when the key is missing.
    const std::tuple<std::string, std::string, bool JobSettings::*, bool> flags[] = {
        {"PARAMETRI_SMTP", "PROT_SSL", &JobSettings::PROT_SSL, false},
        {"PARAMETRI_SMTP", "SEND_ATTACHMENT", &JobSettings::SEND_ATTACHMENT, true},
        {"PARAMETRI_SMTP", "SSL_VERIFICA_CERTIFICATO", &JobSettings::SSL_VERIFICA_CERTIFICATO, true},
        {"PARAMETRI_SHUTDOWN", "SHUTDOWN", &JobSettings::SHUTDOWN, false},
        {"PARAMETRI_FILEZIP", "TEST_ZIP", &JobSettings::TEST_ZIP, true},
        {"PARAMETRI_FILEZIP", "SPLITTING", &JobSettings::SPLITTING, false},
        {"PARAMETRI_FILEZIP", "CANCELLA_ZIP_PRECEDENTE", &JobSettings::CANCELLA_ZIP_PRECEDENTE, true},
        {"PARAMETRI_FILEZIP", "ADVANCED_NAME_ZIP", &JobSettings::ADVANCED_NAME_ZIP, false},
        {"PARAMETRI_FILEZIP", "NOMEFILE_AUTOMATICO", &JobSettings::NOMEFILE_AUTOMATICO, false},
        {"VARIE", "MOSTRA_RIS_COPIE", &JobSettings::MOSTRA_RIS_COPIE, false}};
    job.PARAM_1 = "/cmd/*.*";
    job.PARAM_2 = "/cmd/lun.zip";
    job.INCLUDE[0] = job.COPIA_SU_REMOTO[0] = job.SERVIZIO[0] = "earlier";
    // An underscore before the remote folder's number makes another key.
    const std::string texts =
        "[PARAMETRI_LINEA_COMANDO]\r\nPARAM_1=/file/*.*\r\nPARAM_2=\r\nPARAM_3=/file/log.txt\r\n"
        "[PARAMETRI_FILEZIP]\r\nCOPIA_SU_REMOTO_1=/mnt/copia/\r\n";
    for (const auto& set : flags) {
        const auto& [section, key, field, when_missing] = set;
        EXPECT_TRUE(read_job(texts + "[" + section + "]\r\n" + key + (when_missing ? "=NO" : "=SI")));
        for (const auto& flag : flags) {
            EXPECT_EQ(job.*std::get<2>(flag), std::get<3>(flag) != (&flag == &set))
                << key << ", " << std::get<1>(flag);
        }
        EXPECT_FALSE(state.Shutdown_Requested) << "the job asks for the power-off; only closing requests it";
    }
    EXPECT_EQ((std::vector<std::string>{job.PARAM_1, job.PARAM_2, job.PARAM_3, job.PARAM_4, job.INCLUDE[0],
                                        job.COPIA_SU_REMOTO[0], job.SERVIZIO[0], job.USERID_SMTP,
                                        job.MSG_FROM_SMTP, job.SIZE_SPLIT, job.HOST_SMTP, job.PORT_SMTP,
                                        job.MSG_EMAIL_FROM_SMTP, job.MSG_SUBJECT_SMTP}),
              (std::vector<std::string>{"/cmd/*.*", "/cmd/lun.zip", "/file/log.txt", "", "", "", "", "", "",
                                        "VS1_44MB", "mail.example.com", "25", "ferrolo@example.com",
                                        "Report copie interne"}));
}

TEST_F(JobFileReading, ReadsSiInAnyCaseAndWithinBlanksButMostraRisCopieOnlyInCapitals) {
    const auto read = [&](const std::string& value) {
        read_job("[PARAMETRI_FILEZIP]\nTEST_ZIP=" + value + "\n[VARIE]\nMOSTRA_RIS_COPIE=" + value);
        return std::pair(job.TEST_ZIP, job.MOSTRA_RIS_COPIE);
    };
    EXPECT_EQ(read("si"), std::pair(true, false));
    EXPECT_EQ(read("\" SI\t\""), std::pair(true, true));
    for (const std::string value : {"S I", "YES", ""}) {
        EXPECT_EQ(read(value), std::pair(false, false)) << value;
    }
}

TEST_F(JobFileReading, TakesAFolderOfTheJobFilesNameForAMissingFileAndLeavesIt) {
    folder.make_folder("job.ini");
    EXPECT_FALSE(read_job());
    EXPECT_TRUE(platform::folder_exists(job_path));
    EXPECT_EQ(agent_messages().at(1), file + " non trovato creazione file con valori di default.");
}

TEST_F(JobFileReading, WarnsAndKeepsTheSettingsAsTheyStoodWhenTheFileCannotBeRead) {
    // Reading /proc/self/mem at offset 0 fails with an I/O error even for root, which no permission can
    // refuse.
    std::filesystem::create_symlink("/proc/self/mem", job_path);
    try {
        platform::ProfileFile::load(job_path);
        GTEST_SKIP() << "/proc/self/mem could be read here";
    } catch (const std::exception&) {
    }
    job.ADVANCED_NAME_ZIP = true;

    EXPECT_FALSE(read_job());
    EXPECT_TRUE(job.ADVANCED_NAME_ZIP) << "nothing was read, not even a default";
    EXPECT_EQ(agent_messages(), (std::vector<std::string>{reading, file + " non letto correttamente."}));
    EXPECT_EQ(agent.WarningCount(), 1);
}

}  // namespace
}  // namespace ferrolo::app
