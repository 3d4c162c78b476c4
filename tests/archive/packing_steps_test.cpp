#include "archive/packing_steps.h"

#include <gtest/gtest.h>

#include "tests/archive/run_steps_fixture.h"

namespace ferrolo::archive {
namespace {

using core::Label;

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

TEST_F(PackingNotices, OnlyTheEndNoticeAtOneHundredCountsAnEntryAndNamesUnderSixtyCharactersShowWhole) {
    const std::string file = folder.write("data/a.bin", std::string(1'572'864, 'a'));
    end_of_entry(file, 0.0, TZipProgressPhase::ppStart);
    end_of_entry(file, 99.99);
    end_of_entry(file, 100.0, TZipProgressPhase::ppProcess);
    end_of_entry(file);
    const std::string empty_folder = folder.make_folder("data/empty");
    end_of_entry(empty_folder);                                   // counted, without bytes
    const std::string starred = folder.write("data/a*", "four");  // its own size, not its folder's
    end_of_entry(starred);
    EXPECT_EQ(state.Files_Zipped, 3);
    EXPECT_EQ(state.Bytes_Zipped, 1'572'868);
    EXPECT_EQ(display.label(Label::l_bytes), "    1.50");
    EXPECT_EQ(display.label(Label::l_nfiles), "3");
    EXPECT_EQ(extended_log(), (Lines{"Add: " + file, "Add: " + empty_folder, "Add: " + starred}));
    EXPECT_TRUE(run_log().empty()) << "per-file lines go to the extended log only";

    // Names under sixty characters are shown whole, but a selected file is always shortened.
    for (const size_t length : {59u, 60u}) {
        const std::string name(length, 'n');
        end_of_entry(name, 0.0, TZipProgressPhase::ppStart);
        EXPECT_EQ(display.label(Label::l_file), length < 60 ? name : core::Shorten_Text(name, 40));
    }
    uint32_t attributes = 0x20;
    std::string stored = "data/a.txt";
    std::string comment;
    zip.OnStoreFile(zip, stored, attributes, comment, std::string(59, 'n'));
    EXPECT_EQ(display.label(Label::l_file), core::Shorten_Text(std::string(59, 'n'), 40));
}

TEST_F(PackingNotices, StopRequestCancelsAtTheNextOverallNoticeAfterItsLabelAndHandlersUnbindWhenGone) {
    bool cancel = false;
    zip.OnOverallProgress(zip, 10.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppProcess, cancel);
    EXPECT_FALSE(cancel);
    state.Stop_Requested = true;
    display.labels.clear();
    zip.OnOverallProgress(zip, 20.0, TZipProcessOperation::poAdd, TZipProgressPhase::ppProcess, cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(display.label(Label::l_operation), "add");

    TZipArchiver other{"Zip"};
    { PackingHandlers bound(run, other); }
    EXPECT_FALSE(other.OnFileProgress) << "notices go nowhere once the handlers are gone";
    EXPECT_FALSE(other.OnProcessFileFailure);
}

TEST_F(PackingNotices, FullDriveIsReportedEachTimeAndCancelledAfterFiveMinutesWithoutProgress) {
    const auto full_after = [this](int minutes) {
        clock_now += std::chrono::minutes(minutes);
        std::string volume = folder / "lun.Z02";
        bool cancel = false;
        zip.OnDiskFull(zip, 2, volume, cancel);
        return cancel;
    };
    EXPECT_FALSE(full_after(0));
    EXPECT_FALSE(full_after(4));
    end_of_entry(folder.write("x", "x"), 50.0, TZipProgressPhase::ppProcess);  // space came back for a while
    EXPECT_FALSE(full_after(4));
    EXPECT_FALSE(full_after(4)) << "the wait starts again after progress";
    EXPECT_TRUE(full_after(1));
    EXPECT_TRUE(state.Zip_Error);
    EXPECT_EQ(run_log(), Lines(5, "Disco di destinazione pieno !"));
    EXPECT_EQ(trace().size(), 5u);
}

}  // namespace
}  // namespace ferrolo::archive
