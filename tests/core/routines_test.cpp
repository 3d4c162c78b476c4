#include "core/routines.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::core {
namespace {

TEST(ShortenText, KeepsTextsThatFitAndCutsLongOnesInTheMiddle) {
    const std::string ten = "0123456789";
    EXPECT_EQ(Shorten_Text(ten, 40), ten);
    std::string hundred;
    for (int i = 1; i <= 100; ++i) {
        hundred += static_cast<char>('A' + i % 26);
    }
    const std::string shortened = Shorten_Text(hundred, 40);
    EXPECT_EQ(shortened.size(), 41u);
    EXPECT_EQ(shortened, hundred.substr(0, 17) + "..." + hundred.substr(79)) << "characters 1-17 and 80-100";
    EXPECT_EQ(Shorten_Text(std::string(41, 'x'), 40).size(), 41u);
    EXPECT_EQ(Shorten_Text(std::string(40, 'x'), 40), std::string(40, 'x'))
        << "a text as wide as allowed stays";
}

TEST(ShortenText, NarrowWidthsKeepOnlyTheTailAndZeroKeepsAll) {
    EXPECT_EQ(Shorten_Text("abcdefghij", 4), "...hij") << "no head when half the width is 3 or less";
    EXPECT_EQ(Shorten_Text("abcdefghij", 0), "abcdefghij");
    EXPECT_EQ(Shorten_Text("", 40), "");
}

TEST(ClockTexts, AreZeroPaddedInTheirPatterns) {
    const platform::LocalTime moment{2024, 1, 31, 23, 5, 9};
    EXPECT_EQ(date_text(moment), "31.01.2024");
    EXPECT_EQ(time_text(moment), "23:05:09");
    EXPECT_EQ(trace_stamp(moment), "31/01/2024-23:05:09");
    EXPECT_EQ(file_stamp(moment), "20240131-230509");
}

TEST(ClockTexts, DurationsWrapAtTwentyFourHours) {
    using namespace std::chrono_literals;
    EXPECT_EQ(duration_text(0s), "00:00:00");
    EXPECT_EQ(duration_text(30s), "00:00:30");
    EXPECT_EQ(duration_text(25h), "01:00:00");
    EXPECT_EQ(duration_text(23h + 59min + 59s + 999ms), "23:59:59") << "fractions of a second are dropped";
}

TEST(DeleteFiles, RemovesMatchingFilesAndFoldersAndRefusesAnEmptyMask) {
    testing::TempFolder folder;
    folder.write("lun.zip", "1");
    folder.write("lun.Z01", "2");
    folder.write("lun.zip.d/x", "3");
    folder.write("other.txt", "4");
    EXPECT_EQ(Delete_Files(folder / "lun*.Z*"), 0);
    EXPECT_FALSE(platform::file_exists(folder / "lun.zip"));
    EXPECT_FALSE(platform::file_exists(folder / "lun.Z01"));
    EXPECT_FALSE(platform::folder_exists(folder / "lun.zip.d")) << "a matching folder goes with its contents";
    EXPECT_TRUE(platform::file_exists(folder / "other.txt"));
    EXPECT_EQ(Delete_Files("   "), 1);
    EXPECT_EQ(Delete_Files(""), 1);
    EXPECT_TRUE(platform::file_exists(folder / "other.txt"));
}

TEST(Trim, RemovesBlanksAndControlCharactersOnly) {
    EXPECT_EQ(trim(" \t\r\n value  x \x01"), "value  x");
    EXPECT_EQ(upper_ascii("vs700mb àè"), "VS700MB àè");
}

}  // namespace
}  // namespace ferrolo::core
