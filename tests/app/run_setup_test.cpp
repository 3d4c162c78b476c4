#include "app/run_setup.h"

#include <gtest/gtest.h>

namespace ferrolo::app {
namespace {

using archive::TZipVolumeSize;

TEST(RunSetup, StampsTheNameAtItsFirstDotAndDerivesTheDeletionMaskAndTheReportNameWithoutEverWideningThem) {
    constexpr platform::LocalTime last_second{2024, 1, 31, 23, 59, 59};
    EXPECT_EQ(time_stamped_name("/tmp/lun.zip", last_second), "/tmp/lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("/tmp/lun.a.zip", last_second), "/tmp/lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("lun.zip", last_second), "lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("/tmp/backup", last_second), "/tmp/backup-20240131-235959");
    EXPECT_EQ(time_stamped_name("/tmp/lun-20240131-235959.zip", {2024, 2, 1, 0, 1, 2}),
              "/tmp/lun-20240131-235959-20240201-000102.zip")
        << "a second run adds a second stamp";

    // Cut at the first ".zip" in any case.
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.zip"), "/tmp/lun*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/LUN.ZIP"), "/tmp/LUN*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.zip.zip"), "/tmp/lun*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/lun-20240131-235959.Zip"), "/tmp/lun-20240131-235959*.Z*");
    // Never every archive of the folder: no ".zip", an empty base, ".zip" in a folder's name only.
    for (const char* archive : {"/tmp/lun.7z", "/tmp/backup", "/tmp/.zip", "/tmp.zip/backup"}) {
        EXPECT_EQ(earlier_archives_mask(archive), std::nullopt) << archive;
    }

    EXPECT_EQ(report_file_name("/tmp/log_ext.txt"), "log_ext.PDF");
    EXPECT_EQ(report_file_name("/tmp/log.ext.txt"), "log.PDF");
    EXPECT_EQ(report_file_name("/tmp/log_ext"), "log_ext.PDF") << "never the extended log's own name";
}

TEST(RunSetup, SplitSizeKeywordsCompareExactlyAndEveryOtherTextIsBytesOrOneMebibyte) {
    EXPECT_EQ(split_volume_size("VS700MB")->size, TZipVolumeSize::vs700MB);
    EXPECT_EQ(split_volume_size("VS1_44MB")->size, TZipVolumeSize::vs1_44MB);
    EXPECT_EQ(split_volume_size("VS4700MB")->size, TZipVolumeSize::vs4700MB);
    // Unknown keywords leave the size alone; the job file upper-cases, so "vs700MB" is none.
    for (const char* no_keyword : {"VS300MB", "VSX", "vs700MB"}) {
        EXPECT_EQ(split_volume_size(no_keyword), std::nullopt) << no_keyword;
    }
    const auto custom_bytes = [](std::string_view size_split) {
        const auto setting = split_volume_size(size_split);
        EXPECT_TRUE(setting && setting->size == TZipVolumeSize::vsCustom) << size_split;
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
}  // namespace ferrolo::app
