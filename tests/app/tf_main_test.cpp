#include "app/tf_main.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/support/recording_display.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::app {
namespace {

using core::Label;
using core::Timer;
using testing::crlf_lines;
using testing::read_file;

constexpr std::string_view kUsage =
    "Uso: Ferrolo c:\\hp\\*.* c:\\temp\\lun.zip c:\\temp\\log.txt [c:\\temp\\log_ext.txt]\noppure:\nFerrolo "
    "lun.ini";

// A program folder of its own, a recording window and the form, as the entry creates them.
class StartUp : public ::testing::Test {
protected:
    void create(const CommandLine& parameters) {
        form = std::make_unique<TF_Main>(display, program.path() + "ferrolo", parameters);
        display.events = form.get();
        form->FormCreate();
    }

    std::string job_file(std::string_view name, std::string_view body) {
        return program.write(name, "[PARAMETRI_LINEA_COMANDO]\r\n" + std::string(body));
    }

    std::string agent_log() { return read_file(program / "Ferrolo.LOG"); }

    testing::TempFolder program;
    testing::TempFolder data;
    testing::RecordingDisplay display;
    std::unique_ptr<TF_Main> form;
};

TEST_F(StartUp, WithoutArgumentsShowsUsageAndReadsOrWritesNoJobFile) {
    create({});
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_EQ(display.messages[0].title, "Ferrolo");
    EXPECT_EQ(display.messages[0].text, kUsage);
    EXPECT_FALSE(display.start_enabled);
    EXPECT_FALSE(display.is_armed(Timer::T_Go));
    EXPECT_FALSE(platform::file_exists(program / "Ferrolo.INI"));
    EXPECT_EQ(form->exit_status(), core::ExitStatus::NotRunnable);
    EXPECT_EQ(display.caption, "Ferrolo");
    EXPECT_TRUE(display.first_tab_selected);
    const std::string log = agent_log();
    EXPECT_NE(log.find("|F_Main\\Formcreate\\Versione del programma: \r\n"), std::string::npos)
        << "a program file without a version stamp gives an empty version";
    EXPECT_NE(log.find("|F_Main\\Formcreate\\Data versione del programma: ??.??.????\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("|F_Main\\Formcreate\\Versione ZipLibrary: 2.75 \r\n"), std::string::npos);
}

TEST_F(StartUp, JobFileModeFindsTheFileInAnyCaseAndDiscardsTheOtherArguments) {
    job_file("lun.ini", "PARAM_1=" + data.path() + "*.*\r\nPARAM_2=" + (data / "lun.zip") + "\r\nPARAM_3=" +
                            (data / "log.txt") + "\r\nPARAM_4=" + (data / "ext.txt") + "\r\n");
    create({"LUN.Ini", "/elsewhere/*.*", "/x.zip", "/y.txt"});
    EXPECT_TRUE(display.messages.empty());
    EXPECT_EQ(form->job().PARAM_1, data.path() + "*.*");
    EXPECT_EQ(form->job().PARAM_2, data / "lun.zip");
    EXPECT_EQ(form->job().PARAM_4, data / "ext.txt");
    ASSERT_TRUE(display.is_armed(Timer::T_Go));
    EXPECT_EQ(display.armed_timers[Timer::T_Go], std::chrono::milliseconds(10000));
    EXPECT_EQ(display.label(Label::l_stato), "Procedure preliminari in corso...");
    EXPECT_NE(agent_log().find("F_Main\\Leggi_File_Ini: " + (program / "lun.ini")), std::string::npos);
}

TEST_F(StartUp, JobFileMissingFromTheProgramFolderIsTakenAsASourceMask) {
    create({"lun.ini"});
    EXPECT_TRUE(platform::file_exists(program / "Ferrolo.INI")) << "the default job file is written";
    ASSERT_EQ(display.messages.size(), 1u) << "lun.ini has no folder part, so the job cannot run";
    EXPECT_EQ(display.messages[0].text, kUsage);
    EXPECT_EQ(form->job().PARAM_1, "");
}

TEST_F(StartUp, SourceMaskInAMissingFolderShowsUsage) {
    create({data / "missing/*.*", data / "lun.zip", data / "log.txt", data / "ext.txt"});
    ASSERT_EQ(display.messages.size(), 1u);
    EXPECT_FALSE(display.is_armed(Timer::T_Go));
    EXPECT_FALSE(display.start_enabled);
}

TEST_F(StartUp, ThreeArgumentsTakeTheExtendedLogFromTheDefaultJobFile) {
    job_file("Ferrolo.INI", "PARAM_1=/ignored/*.*\r\nPARAM_4=" + (data / "from-file.txt") + "\r\n");
    create({data.path() + "*.*", data / "lun.zip", data / "log.txt"});
    EXPECT_TRUE(display.messages.empty());
    EXPECT_EQ(form->job().PARAM_1, data.path() + "*.*") << "the command line wins";
    EXPECT_EQ(form->job().PARAM_4, data / "from-file.txt");
    EXPECT_TRUE(display.is_armed(Timer::T_Go));
}

TEST_F(StartUp, RunWithoutExtendedLogEndsAtOnceAndLeavesTheWindowOpen) {
    job_file("Ferrolo.INI", "");
    create({data.path() + "*.*", data / "lun.zip", data / "log.txt"});
    ASSERT_TRUE(display.is_armed(Timer::T_Go)) << "PARAM_4 is not needed to be runnable";
    display.fire(Timer::T_Go);
    EXPECT_FALSE(display.is_armed(Timer::T_Go)) << "the start timer fires once";
    EXPECT_FALSE(platform::file_exists(data / "log.txt"));
    EXPECT_EQ(display.label(Label::l_stato), "");
    EXPECT_EQ(display.close_count, 0);
    EXPECT_EQ(form->exit_status(), core::ExitStatus::NotRunnable);
}

TEST_F(StartUp, AnnullaBeforeTheStartOnlyRaisesTheStopFlag) {
    job_file("Ferrolo.INI", "");
    create({data.path() + "*.*", data / "lun.zip", data / "log.txt", data / "ext.txt"});
    form->btn_annullaClick();
    EXPECT_TRUE(form->run_state().Stop_Requested);
    EXPECT_TRUE(display.is_armed(Timer::T_Go));
    EXPECT_EQ(display.close_count, 0);
}

TEST(CommandLine, TakesFourArgumentsTrimmedAndIgnoresTheRest) {
    const char* const arguments[] = {"ferrolo", "  /data/*.*\t", "\x01/b.zip", "c ", "d", "e"};
    EXPECT_EQ(job_parameters(6, arguments), (CommandLine{"/data/*.*", "/b.zip", "c", "d"}));
    EXPECT_EQ(job_parameters(2, arguments), (CommandLine{"/data/*.*", "", "", ""}));
}

}  // namespace
}  // namespace ferrolo::app
