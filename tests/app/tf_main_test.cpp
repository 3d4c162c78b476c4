#include "app/tf_main.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::app {
namespace {

using core::Timer;
using testing::read_file;

// A program folder of its own, a data folder, a recording window and the form, as the entry creates them.
struct StartUp {
    void create(const CommandLine& parameters) {
        form = std::make_unique<TF_Main>(display, program.path() + "ferrolo", parameters);
        display.events = form.get();
        form->FormCreate();
    }
    // `keys` in the job file `name`'s command-line section.
    void job_file(std::string_view name, const std::string& keys) const {
        program.write(name, "[PARAMETRI_LINEA_COMANDO]\r\n" + keys);
    }
    std::string agent_log() const { return read_file(program / "Ferrolo.LOG"); }

    testing::TempFolder program;
    testing::TempFolder data;
    testing::RecordingDisplay display;
    std::unique_ptr<TF_Main> form;
};

TEST(StartUp, JobThatCannotRunShowsTheExactUsageAndOnlyACommandLineJobReadsTheDefaultJobFile) {
    // The arguments, and whether the default job file is read (and so written) on the way.
    const std::vector<std::pair<CommandLine, bool>> cases = {
        {{}, false},
        {{"lun.ini"}, true},  // not in the program folder: a source mask without a folder
        {{"*.ini"}, true},    // a name, never a mask that would take other.ini
        {{"/no/such/folder/*.*", "/tmp/lun.zip", "/tmp/log.txt", "/tmp/ext.txt"}, true},
    };
    for (const auto& [parameters, job_file_read] : cases) {
        SCOPED_TRACE(parameters[0]);
        StartUp start;
        start.job_file("other.ini", "");
        start.create(parameters);
        ASSERT_EQ(start.display.messages.size(), 1u);
        EXPECT_EQ(start.display.messages[0].title, "Ferrolo");
        EXPECT_EQ(start.display.messages[0].text,
                  "Uso: Ferrolo c:\\hp\\*.* c:\\temp\\lun.zip c:\\temp\\log.txt [c:\\temp\\log_ext.txt]\n"
                  "oppure:\nFerrolo lun.ini");
        EXPECT_FALSE(start.display.start_enabled);
        EXPECT_FALSE(start.display.is_armed(Timer::T_Go));
        EXPECT_EQ(start.form->exit_status(), core::ExitStatus::NotRunnable);
        EXPECT_EQ(start.form->job().PARAM_1, "");
        EXPECT_EQ(platform::file_exists(start.program / "Ferrolo.INI"), job_file_read);
        EXPECT_EQ(start.display.caption, "Ferrolo");
        EXPECT_TRUE(start.display.first_tab_selected);
        const std::string log = start.agent_log();
        for (const std::string line :
             {"Versione del programma: \r\n", "Data versione del programma: ??.??.????\r\n",
              "Versione ZipLibrary: 2.75 \r\n"}) {
            EXPECT_NE(log.find("|F_Main\\Formcreate\\" + line), std::string::npos)
                << "a program file without a version stamp";
        }
    }
}

TEST(StartUp, JobFileModeFindsTheFileInAnyCaseAndDiscardsTheOtherArguments) {
    StartUp start;
    start.job_file("lun.ini", "PARAM_1=" + start.data.path() + "*.*\r\nPARAM_2=" + (start.data / "lun.zip") +
                                  "\r\nPARAM_3=" + (start.data / "log.txt") + "\r\n");
    start.create({"LUN.Ini", "/elsewhere/*.*", "/x.zip", "/y.txt"});
    EXPECT_EQ(start.form->job().PARAM_1, start.data.path() + "*.*");
    EXPECT_EQ(start.display.armed_timers[Timer::T_Go], std::chrono::milliseconds(10000));
    EXPECT_EQ(start.display.label(core::Label::l_stato), "Procedure preliminari in corso...");
    EXPECT_NE(start.agent_log().find("F_Main\\Leggi_File_Ini: " + (start.program / "lun.ini")),
              std::string::npos);
}

TEST(StartUp, DefaultJobFileIsFoundInAnyLetterCase) {
    StartUp start;
    start.job_file("ferrolo.ini", "");
    start.create({start.data.path() + "*.*", start.data / "a.zip", start.data / "l.txt", ""});
    EXPECT_NE(start.agent_log().find("F_Main\\Leggi_File_Ini: " + (start.program / "ferrolo.ini")),
              std::string::npos);
    EXPECT_EQ(platform::find_files(start.program.path(), "*").size(), 2u) << "no second default job file";
}

TEST(StartUp, ThreeArgumentsTakeTheExtendedLogFromTheDefaultJobFile) {
    StartUp start;
    start.job_file("Ferrolo.INI",
                   "PARAM_1=/ignored/*.*\r\nPARAM_4=" + (start.data / "from-file.txt") + "\r\n");
    start.create({start.data.path() + "*.*", start.data / "lun.zip", start.data / "log.txt"});
    EXPECT_EQ(start.form->job().PARAM_1, start.data.path() + "*.*") << "the command line wins";
    EXPECT_EQ(start.form->job().PARAM_4, start.data / "from-file.txt");
    EXPECT_TRUE(start.display.is_armed(Timer::T_Go));
}

TEST(StartUp, AnnullaBeforeTheStartOnlyRaisesTheFlagAndARunWithoutExtendedLogEndsAtOnceLeavingTheWindowOpen) {
    StartUp start;
    start.create({start.data.path() + "*.*", start.data / "lun.zip", start.data / "log.txt"});
    start.form->btn_annullaClick();
    EXPECT_TRUE(start.form->run_state().Stop_Requested);
    start.display.fire(Timer::T_Go);  // armed: PARAM_4 is not needed to be runnable
    EXPECT_FALSE(start.display.is_armed(Timer::T_Go)) << "the start timer fires once";
    EXPECT_FALSE(platform::file_exists(start.data / "log.txt"));
    EXPECT_EQ(start.display.label(core::Label::l_stato), "");
    EXPECT_EQ(start.display.close_count, 0);
    EXPECT_EQ(start.form->exit_status(), core::ExitStatus::NotRunnable);
}

// The start timer would otherwise fire inside the run "Inizia" started, and test and copy an archive
// still being written.
TEST(StartUp, IniziaBeforeTheStartTimerDisarmsIt) {
    StartUp start;
    start.create({start.data.path() + "*.*", start.data / "lun.zip", start.data / "log.txt"});
    start.form->btn_startClick();
    EXPECT_FALSE(start.display.is_armed(Timer::T_Go));
}

TEST(CommandLine, TakesFourArgumentsTrimmedAndIgnoresTheRest) {
    EXPECT_EQ(job_parameters({"ferrolo", "  /data/*.*\t", "\x01/b.zip", "c ", "d", "e"}),
              (CommandLine{"/data/*.*", "/b.zip", "c", "d"}));
    EXPECT_EQ(job_parameters({"ferrolo", "/data/*.*"}), (CommandLine{"/data/*.*", "", "", ""}));
}

}  // namespace
}  // namespace ferrolo::app
