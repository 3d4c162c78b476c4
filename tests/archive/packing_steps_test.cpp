#include "archive/packing_steps.h"

#include <gtest/gtest.h>

#include "archive/packing.h"

#include "tests/archive/run_steps_fixture.h"

namespace ferrolo::archive {
namespace {

using core::Label;

class PackingNotices : public testing::RunStepsTest {
protected:
    core::Clock::time_point clock_now{};
    zip::TZipArchiver zip{"Zip"};
    PackingHandlers handlers{run, zip, [this] { return clock_now; }};

    void end_of_entry(const std::string& file, double progress = 100.0,
                      zip::TZipProgressPhase phase = zip::TZipProgressPhase::ppEnd) {
        bool cancel = false;
        zip.OnFileProgress(zip, file, progress, zip::TZipProcessOperation::poAdd, phase, cancel);
        EXPECT_FALSE(cancel) << "file notices never cancel";
    }
};

TEST_F(PackingNotices, OnlyTheEndNoticeAtOneHundredCountsAnEntryAndNamesUnderSixtyCharactersShowWhole) {
    const std::string file = folder.write("data/a.bin", std::string(1'572'864, 'a'));
    end_of_entry(file, 0.0, zip::TZipProgressPhase::ppStart);
    end_of_entry(file, 99.99);
    end_of_entry(file, 100.0, zip::TZipProgressPhase::ppProcess);
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
        end_of_entry(name, 0.0, zip::TZipProgressPhase::ppStart);
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
    zip.OnOverallProgress(zip, 10.0, zip::TZipProcessOperation::poAdd, zip::TZipProgressPhase::ppProcess,
                          cancel);
    EXPECT_FALSE(cancel);
    state.Stop_Requested = true;
    display.labels.clear();
    zip.OnOverallProgress(zip, 20.0, zip::TZipProcessOperation::poAdd, zip::TZipProgressPhase::ppProcess,
                          cancel);
    EXPECT_TRUE(cancel);
    EXPECT_EQ(display.label(Label::l_operation), "add");

    zip::TZipArchiver other{"Zip"};
    { PackingHandlers bound(run, other); }
    EXPECT_FALSE(other.OnFileProgress) << "notices go nowhere once the handlers are gone";
    EXPECT_FALSE(other.OnProcessFileFailure);
}

TEST_F(PackingNotices, FullDriveIsReportedOncePerWaitWhichEndsAfterFiveMinutesWithoutProgress) {
    const auto full_after = [this](int minutes) {
        clock_now += std::chrono::minutes(minutes);
        std::string volume = folder / "lun.Z02";
        bool cancel = false;
        zip.OnDiskFull(zip, 2, volume, cancel);
        return cancel;
    };
    EXPECT_FALSE(full_after(0));
    EXPECT_FALSE(full_after(4));
    end_of_entry(folder.write("x", "x"), 50.0,
                 zip::TZipProgressPhase::ppProcess);  // space came back for a while
    EXPECT_FALSE(full_after(4));
    EXPECT_FALSE(full_after(4)) << "the wait starts again after progress";
    EXPECT_TRUE(full_after(1));
    EXPECT_TRUE(state.Zip_Error);
    EXPECT_EQ(run_log(), Lines(2, "Disco di destinazione pieno !"));
    EXPECT_EQ(trace().size(), 2u);
}

TEST(PackingSetup, EarlierArchivesMaskCutsAtTheFirstZipAndNeverWidensToEveryArchive) {
    // Cut at the first ".zip" in any case.
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.zip"), "/tmp/lun*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/LUN.ZIP"), "/tmp/LUN*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.zip.zip"), "/tmp/lun*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/lun-20240131-235959.Zip"), "/tmp/lun-20240131-235959*.Z*");
    // Never every archive of the folder: no ".zip", an empty base, ".zip" in a folder's name only.
    for (const char* archive : {"/tmp/lun.7z", "/tmp/backup", "/tmp/.zip", "/tmp.zip/backup"}) {
        EXPECT_EQ(earlier_archives_mask(archive), std::nullopt) << archive;
    }
}

TEST(PackingSetup, SplitSizeKeywordsCompareExactlyAndEveryOtherTextIsBytesOrOneMebibyte) {
    EXPECT_EQ(split_volume_size("VS700MB")->size, zip::TZipVolumeSize::vs700MB);
    EXPECT_EQ(split_volume_size("VS1_44MB")->size, zip::TZipVolumeSize::vs1_44MB);
    EXPECT_EQ(split_volume_size("VS4700MB")->size, zip::TZipVolumeSize::vs4700MB);
    // Unknown keywords leave the size alone; the job file upper-cases, so "vs700MB" is none.
    for (const char* no_keyword : {"VS300MB", "VSX", "vs700MB"}) {
        EXPECT_EQ(split_volume_size(no_keyword), std::nullopt) << no_keyword;
    }
    const auto custom_bytes = [](std::string_view size_split) {
        const auto setting = split_volume_size(size_split);
        EXPECT_TRUE(setting && setting->size == zip::TZipVolumeSize::vsCustom) << size_split;
        return setting ? setting->custom_bytes : -1;
    };
    EXPECT_EQ(custom_bytes("123456"), 123456);
    EXPECT_EQ(custom_bytes("1000"), 1000) << "the engine raises it to its floor";
    EXPECT_EQ(custom_bytes("  3145728000"), 3145728000);
    EXPECT_EQ(custom_bytes("$10"), 16);
    EXPECT_EQ(custom_bytes("0x10"), 16);
    EXPECT_EQ(custom_bytes("X1F"), 31);
    EXPECT_EQ(custom_bytes("4294967297"), 1) << "only the low 32 bits count";
    EXPECT_EQ(custom_bytes("-1"), 4294967295);
    for (const char* no_number : {"100MB", "ABC", "", "12 ", "0x", "99999999999999999999999"}) {
        EXPECT_EQ(custom_bytes(no_number), 1048576) << no_number;
    }
}

}  // namespace
}  // namespace ferrolo::archive
