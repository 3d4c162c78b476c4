#include "app/run_setup.h"

#include <gtest/gtest.h>

namespace ferrolo::app {
namespace {

constexpr platform::LocalTime kLastSecondOfJanuary{2024, 1, 31, 23, 59, 59};

TEST(TimeStampedName, CutsTheBaseAtTheFirstDotAndKeepsTheLastExtension) {
    EXPECT_EQ(time_stamped_name("/tmp/lun.zip", kLastSecondOfJanuary), "/tmp/lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("/tmp/lun.a.zip", kLastSecondOfJanuary), "/tmp/lun-20240131-235959.zip");
    EXPECT_EQ(time_stamped_name("lun.zip", kLastSecondOfJanuary), "lun-20240131-235959.zip");
}

TEST(TimeStampedName, NameWithoutDotKeepsItsWholeName) {
    EXPECT_EQ(time_stamped_name("/tmp/backup", kLastSecondOfJanuary), "/tmp/backup-20240131-235959");
}

TEST(TimeStampedName, SecondRunAddsASecondStamp) {
    const std::string first = time_stamped_name("/tmp/lun.zip", kLastSecondOfJanuary);
    EXPECT_EQ(time_stamped_name(first, {2024, 2, 1, 0, 1, 2}),
              "/tmp/lun-20240131-235959-20240201-000102.zip");
}

TEST(EarlierArchivesMask, CutsAtTheFirstZipInAnyCase) {
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.zip"), "/tmp/lun*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/LUN.ZIP"), "/tmp/LUN*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.zip.zip"), "/tmp/lun*.Z*");
    EXPECT_EQ(earlier_archives_mask("/tmp/lun-20240131-235959.Zip"), "/tmp/lun-20240131-235959*.Z*");
}

TEST(EarlierArchivesMask, NeverWidensToEveryArchiveOfTheFolder) {
    EXPECT_EQ(earlier_archives_mask("/tmp/lun.7z"), std::nullopt);
    EXPECT_EQ(earlier_archives_mask("/tmp/backup"), std::nullopt);
    EXPECT_EQ(earlier_archives_mask("/tmp/.zip"), std::nullopt) << "an empty base would match every archive";
    EXPECT_EQ(earlier_archives_mask("/tmp.zip/backup"), std::nullopt) << "only the file name counts";
}

TEST(ReportFileName, ReplacesEverythingFromTheFirstDot) {
    EXPECT_EQ(report_file_name("/tmp/log_ext.txt"), "log_ext.PDF");
    EXPECT_EQ(report_file_name("/tmp/log.ext.txt"), "log.PDF");
    EXPECT_EQ(report_file_name("/tmp/log_ext"), "log_ext.PDF") << "never the extended log's own name";
}

}  // namespace
}  // namespace ferrolo::app

namespace ferrolo::app {
namespace {

using archive::TZipVolumeSize;

int64_t custom_bytes(std::string_view size_split) {
    const auto setting = split_volume_size(size_split);
    EXPECT_TRUE(setting && setting->size == TZipVolumeSize::vsCustom) << size_split;
    return setting ? setting->custom_bytes : -1;
}

TEST(SplitVolumeSize, KeywordsSelectTheirSizeAndUnknownKeywordsLeaveItAlone) {
    EXPECT_EQ(split_volume_size("VS700MB")->size, TZipVolumeSize::vs700MB);
    EXPECT_EQ(split_volume_size("VS1_44MB")->size, TZipVolumeSize::vs1_44MB);
    EXPECT_EQ(split_volume_size("VS4700MB")->size, TZipVolumeSize::vs4700MB);
    EXPECT_EQ(split_volume_size("VS300MB"), std::nullopt);
    EXPECT_EQ(split_volume_size("VSX"), std::nullopt);
    EXPECT_EQ(split_volume_size("vs700MB"), std::nullopt)
        << "keywords compare exactly; the job file upper-cases";
}

TEST(SplitVolumeSize, NumbersAreBytesAndTextThatIsNoNumberGivesOneMebibyte) {
    EXPECT_EQ(custom_bytes("123456"), 123456);
    EXPECT_EQ(custom_bytes("2000000"), 2000000);
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
