#include "platform/wildcard.h"

#include <gtest/gtest.h>

namespace ferrolo::platform {
namespace {

TEST(FileMask, StarDotStarMatchesNamesWithAndWithoutDot) {
    for (const char* name : {"README", "a.txt", "archive.tar.gz", ".hidden"}) {
        EXPECT_TRUE(matches_file_mask(name, "*.*")) << name;
        EXPECT_TRUE(matches_file_mask(name, "*")) << name;
    }
}

TEST(FileMask, ExtensionMaskComparesTheLastExtensionOnly) {
    EXPECT_TRUE(matches_file_mask("a.txt", "*.txt"));
    EXPECT_TRUE(matches_file_mask("a.b.txt", "*.txt"));
    EXPECT_FALSE(matches_file_mask("a.txt.bak", "*.txt"));
    EXPECT_FALSE(matches_file_mask("atxt", "*.txt"));
    EXPECT_FALSE(matches_file_mask("a.TXT", "*.txt")) << "names compare case-sensitively";
}

TEST(FileMask, TrailingDotSelectsNamesWithoutExtension) {
    EXPECT_TRUE(matches_file_mask("Makefile", "*."));
    EXPECT_FALSE(matches_file_mask("a.txt", "*."));
}

TEST(FileMask, DotStarAlsoMatchesTheBareName) {
    EXPECT_TRUE(matches_file_mask("lun", "lun.*"));
    EXPECT_TRUE(matches_file_mask("lun.zip", "lun.*"));
    EXPECT_TRUE(matches_file_mask("lun.a.zip", "lun.*"));
    EXPECT_FALSE(matches_file_mask("lunedi", "lun.*"));
}

TEST(FileMask, QuestionMarkMatchesOneCharacterOrNoneBeforeADot) {
    EXPECT_TRUE(matches_file_mask("ab.txt", "a?.txt"));
    EXPECT_TRUE(matches_file_mask("a.txt", "a?.txt"));
    EXPECT_FALSE(matches_file_mask("abc.txt", "a?.txt"));
    EXPECT_TRUE(matches_file_mask("data", "data?"));
    EXPECT_TRUE(matches_file_mask("data1", "data?"));
}

TEST(FileMask, CaseInsensitiveDeletionMaskCatchesVolumesAndStampedNames) {
    constexpr auto kAnyCase = LetterCase::Insensitive;
    for (const char* name :
         {"lun.zip", "lun.z01", "lun.Z01", "LUN.ZIP", "lun-20240130-235959.zip", "lun2.zip"}) {
        EXPECT_TRUE(matches_file_mask(name, "lun*.Z*", kAnyCase)) << name;
    }
    EXPECT_FALSE(matches_file_mask("lun.txt", "lun*.Z*", kAnyCase));
    EXPECT_FALSE(matches_file_mask("other.zip", "lun*.Z*", kAnyCase));
    EXPECT_FALSE(matches_file_mask("lun.zip", "lun*.Z*")) << "case-sensitive by default";
}

TEST(FileMask, ManyStarsOnALongNameStayFast) {
    const std::string name(5000, 'a');
    EXPECT_FALSE(matches_file_mask(name, "*a*a*a*a*a*a*a*a*a*b"));
}

}  // namespace
}  // namespace ferrolo::platform
