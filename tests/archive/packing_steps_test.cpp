#include "archive/packing_steps.h"

#include <gtest/gtest.h>

#include "tests/archive/run_steps_fixture.h"

namespace ferrolo::archive {
namespace {

using core::Label;
using testing::read_file;

class PackingNotices : public testing::RunStepsTest {
protected:
    core::Clock::time_point clock_now{};
    TZipArchiver zip{"Zip"};
    PackingHandlers handlers{run, zip, [this] { return clock_now; }};

    void end_of_entry(const std::string& file, double progress = 100.0,
                      TZipProgressPhase phase = TZipProgressPhase::ppEnd) {
        bool cancel = false;
        zip.OnFileProgress(zip, file, progress, TZipProcessOperation::poAdd, phase, cancel);
        EXPECT_FALSE(cancel) << "file notices never cancel";
    }
};

TEST_F(PackingNotices, OnlyTheEndNoticeAtExactlyOneHundredCountsAnEntry) {
    const std::string file = folder.write("data/a.bin", std::string(1'572'864, 'a'));
    end_of_entry(file, 0.0, TZipProgressPhase::ppStart);
    end_of_entry(file, 99.99);
    end_of_entry(file, 100.0, TZipProgressPhase::ppProcess);
    EXPECT_EQ(state.Files_Zipped, 0);
    end_of_entry(file);
    EXPECT_EQ(state.Files_Zipped, 1);
    EXPECT_EQ(state.Bytes_Zipped, 1'572'864);
    EXPECT_EQ(display.label(Label::l_bytes), "    1.50");
    EXPECT_EQ(display.label(Label::l_nfiles), "1");
    EXPECT_EQ(extended_log(), (std::vector<std::string>{"Add: " + file}));
    EXPECT_TRUE(run_log().empty()) << "per-file lines go to the extended log only";
}

TEST_F(PackingNotices, FolderEntryCountsWithTheSizeOfItsName) {
    const std::string empty_folder = folder.make_folder("data/empty");
    end_of_entry(empty_folder);
    EXPECT_EQ(state.Files_Zipped, 1);
    EXPECT_EQ(state.Bytes_Zipped, 0);
}

TEST_F(PackingNotices, NamesUnderSixtyCharactersAreShownWhole) {
    const std::string fifty_nine(59, 'n');
    end_of_entry(fifty_nine, 0.0, TZipProgressPhase::ppStart);
    EXPECT_EQ(display.label(Label::l_file), fifty_nine);
    const std::string sixty(60, 'n');
    end_of_entry(sixty, 0.0, TZipProgressPhase::ppStart);
    EXPECT_EQ(display.label(Label::l_file), core::Shorten_Text(sixty, 40));
    uint32_t attributes = 0x20;
    std::string stored = "data/a.txt";
    std::string comment;
    zip.OnStoreFile(zip, stored, attributes, comment, sixty);
    EXPECT_EQ(display.label(Label::l_file).size(), 41u) << "selection always shortens";
}

TEST_F(PackingNotices, FailureIsReportedCountedAndIgnored) {
    TZipAction action = TZipAction::zaAbort;
    const std::string message = "Zip: Cannot open file \"/data/a.txt\" - Native error: 00033";
    zip.OnProcessFileFailure(zip, "/data/a.txt", TZipProcessOperation::poAdd, 33, 12, message, action);
    const std::string line = "Errore:" + message + " 33,12 processando: /data/a.txt";
    EXPECT_EQ(action, TZipAction::zaIgnore);
    EXPECT_EQ(state.Files_Failed, 1);
    EXPECT_TRUE(state.Zip_Error);
    EXPECT_EQ(run_log(), (std::vector<std::string>{line}));
    EXPECT_EQ(extended_log(), (std::vector<std::string>{line}));
    EXPECT_EQ(trace(), (std::vector<std::string>{line}));
}

TEST_F(PackingNotices, StopRequestCancelsAtTheNextOverallNoticeAfterItsLabel) {
    bool cancel = false;
    zip.OnOverallProgress(zip, 10.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppProcess, cancel);
    EXPECT_FALSE(cancel);
    state.Stop_Requested = true;
    display.labels.clear();
    zip.OnOverallProgress(zip, 20.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppProcess, cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(display.label(Label::l_operation), "add");
}

TEST_F(PackingNotices, FullDriveIsReportedEachTimeAndCancelledAfterFiveMinutesWithoutProgress) {
    std::string volume = folder / "lun.Z02";
    bool cancel = false;
    zip.OnDiskFull(zip, 2, volume, cancel);
    clock_now += std::chrono::minutes(4);
    zip.OnDiskFull(zip, 2, volume, cancel);
    EXPECT_FALSE(cancel);
    end_of_entry(folder.write("x", "x"), 50.0, TZipProgressPhase::ppProcess);  // space came back for a while
    clock_now += std::chrono::minutes(4);
    zip.OnDiskFull(zip, 2, volume, cancel);
    clock_now += std::chrono::minutes(4);
    zip.OnDiskFull(zip, 2, volume, cancel);
    EXPECT_FALSE(cancel) << "the wait starts again after progress";
    clock_now += std::chrono::minutes(1);
    zip.OnDiskFull(zip, 2, volume, cancel);
    EXPECT_TRUE(cancel);
    EXPECT_TRUE(state.Zip_Error);
    EXPECT_EQ(run_log(), std::vector<std::string>(5, "Disco di destinazione pieno !"));
    EXPECT_EQ(trace().size(), 5u);
}

TEST_F(PackingNotices, NoticesGoNowhereOnceTheHandlersAreGone) {
    TZipArchiver other{"Zip"};
    { PackingHandlers bound(run, other); }
    EXPECT_FALSE(other.OnFileProgress);
    EXPECT_FALSE(other.OnProcessFileFailure);
}

}  // namespace
}  // namespace ferrolo::archive
