#include "platform/profile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "platform/system_error.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::platform {
namespace {

using namespace std::string_literals;
using testing::TempFolder;

std::optional<std::string> value_in(std::string_view content, std::string_view section,
                                    std::string_view key) {
    return ProfileFile::parse(content).value(section, key);
}

TEST(ProfileFile, MatchesSectionAndKeyNamesWithoutRegardToLetterCase) {
    const ProfileFile profile = ProfileFile::parse("[Parametri_FileZip]\r\nTest_Zip=SI\r\n");
    EXPECT_EQ(profile.value("PARAMETRI_FILEZIP", "TEST_ZIP"), "SI");
    EXPECT_EQ(profile.value("parametri_filezip", "test_zip"), "SI");
    EXPECT_EQ(profile.value("PARAMETRI_FILEZIP", "TEST_ZIP_"), std::nullopt);
}

TEST(ProfileFile, LooksKeysUpInTheirOwnSectionOnly) {
    const ProfileFile profile = ProfileFile::parse("KEY=nowhere\r\n[A]\r\nKEY=a\r\n[B]\r\nOTHER=b\r\n");
    EXPECT_EQ(profile.value("A", "KEY"), "a");
    EXPECT_EQ(profile.value("B", "KEY"), std::nullopt) << "a key must not leak into the next section";
    EXPECT_EQ(profile.value("", "KEY"), std::nullopt) << "keys before the first section belong to none";
    EXPECT_EQ(profile.value("C", "OTHER"), std::nullopt);
}

TEST(ProfileFile, TellsAMissingKeyFromAnEmptyValue) {
    const ProfileFile profile = ProfileFile::parse("[S]\r\nEMPTY=\r\nBLANKS=   \t \r\n");
    EXPECT_EQ(profile.value("S", "EMPTY"), "");
    EXPECT_EQ(profile.value("S", "BLANKS"), "");
    EXPECT_EQ(profile.value("S", "MISSING"), std::nullopt);
}

TEST(ProfileFile, IgnoresCommentLinesEvenWhenIndented) {
    const ProfileFile profile =
        ProfileFile::parse("[S]\r\n;KEY=comment\r\n \t;OTHER=comment\r\nOTHER=value\r\n");
    EXPECT_EQ(profile.value("S", "KEY"), std::nullopt);
    EXPECT_EQ(profile.value("S", "OTHER"), "value");
}

TEST(ProfileFile, TakesTheValueAfterTheFirstEqualsSignWithoutSurroundingBlanks) {
    const ProfileFile profile = ProfileFile::parse("  [ S ]  \r\n\t KEY \t=  a = b ; not a comment \t\r\n");
    EXPECT_EQ(profile.value("S", "KEY"), "a = b ; not a comment");
}

TEST(ProfileFile, RemovesOnePairOfMatchingQuotesAndKeepsTheBlanksInsideThem) {
    const std::string content =
        "[S]\r\n"
        "DOUBLE=  \" inner blanks \"  \r\n"
        "SINGLE=' x '\r\n"
        "TWO_PAIRS=\"\"x\"\"\r\n"
        "MIXED=\"x'\r\n"
        "OPENING_ONLY=\"x\r\n"
        "LONE=\"\r\n"
        "EMPTY_PAIR=''\r\n"
        "INSIDE=a \"b\" c\r\n";
    const ProfileFile profile = ProfileFile::parse(content);
    EXPECT_EQ(profile.value("S", "DOUBLE"), " inner blanks ");
    EXPECT_EQ(profile.value("S", "SINGLE"), " x ");
    EXPECT_EQ(profile.value("S", "TWO_PAIRS"), "\"x\"");
    EXPECT_EQ(profile.value("S", "MIXED"), "\"x'");
    EXPECT_EQ(profile.value("S", "OPENING_ONLY"), "\"x");
    EXPECT_EQ(profile.value("S", "LONE"), "\"");
    EXPECT_EQ(profile.value("S", "EMPTY_PAIR"), "");
    EXPECT_EQ(profile.value("S", "INSIDE"), "a \"b\" c");
}

TEST(ProfileFile, CutsLongValuesTo2047Bytes) {
    std::string long_value;
    for (int i = 0; long_value.size() < 3000; ++i) {
        long_value += std::to_string(i % 10);
    }
    const ProfileFile profile =
        ProfileFile::parse("[S]\r\nPLAIN=" + long_value + "\r\nQUOTED=\"" + long_value +
                           "\"\r\nEXACT=" + long_value.substr(0, 2047) + "\r\n");
    EXPECT_EQ(profile.value("S", "PLAIN"), long_value.substr(0, 2047));
    EXPECT_EQ(profile.value("S", "QUOTED"), long_value.substr(0, 2047)) << "quotes go before the cut";
    EXPECT_EQ(profile.value("S", "EXACT"), long_value.substr(0, 2047));
}

TEST(ProfileFile, KeepsTheFirstOccurrenceOfAKeyAlsoAcrossRepeatedSections) {
    const ProfileFile profile = ProfileFile::parse(
        "[S]\r\nKEY=first\r\nKEY=second\r\n[T]\r\nKEY=other\r\n[s]\r\nKEY=third\r\nLATE=added\r\n");
    EXPECT_EQ(profile.value("S", "KEY"), "first");
    EXPECT_EQ(profile.value("T", "KEY"), "other");
    EXPECT_EQ(profile.value("S", "LATE"), "added") << "a repeated section still contributes new keys";
}

TEST(ProfileFile, DefinesNothingForLinesWithoutAKeyAndAnEqualsSign) {
    const ProfileFile profile = ProfileFile::parse("[S]\r\nKEY\r\n=orphan\r\n  =\r\nGOOD=1\r\n");
    EXPECT_EQ(profile.value("S", "KEY"), std::nullopt);
    EXPECT_EQ(profile.value("S", ""), std::nullopt);
    EXPECT_EQ(profile.value("S", "GOOD"), "1");
}

TEST(ProfileFile, TakesASectionNameToTheLineEndWhenItsBracketIsNotClosed) {
    const ProfileFile profile =
        ProfileFile::parse("[OPEN \r\nA=1\r\n[CLOSED] trailing text\r\nB=2\r\n[]\r\nC=3\r\n");
    EXPECT_EQ(profile.value("OPEN", "A"), "1");
    EXPECT_EQ(profile.value("CLOSED", "B"), "2");
    EXPECT_EQ(profile.value("", "C"), "3");
}

TEST(ProfileFile, ReadsTheSameValuesWhateverTheLineEnds) {
    for (const std::string line_end : {"\r\n", "\n", "\r"}) {
        const std::string content = "[S]" + line_end + "A=1" + line_end + "B=2" + line_end + "[T]" +
                                    line_end + "C= 3 " + line_end + line_end + "D=4";
        const ProfileFile profile = ProfileFile::parse(content);
        SCOPED_TRACE("line end of " + std::to_string(line_end.size()) + " bytes starting with " +
                     std::to_string(line_end.front()));
        EXPECT_EQ(profile.value("S", "A"), "1");
        EXPECT_EQ(profile.value("S", "B"), "2");
        EXPECT_EQ(profile.value("T", "C"), "3");
        EXPECT_EQ(profile.value("T", "D"), "4") << "the last line needs no line end";
    }
    const ProfileFile mixed = ProfileFile::parse("[S]\nA=1\r\rB=2\r\n\nC=3\n\rD=4\r");
    EXPECT_EQ(mixed.value("S", "A"), "1");
    EXPECT_EQ(mixed.value("S", "B"), "2");
    EXPECT_EQ(mixed.value("S", "C"), "3");
    EXPECT_EQ(mixed.value("S", "D"), "4");
}

TEST(ProfileFile, SkipsAByteOrderMarkAtTheStartOnly) {
    EXPECT_EQ(value_in("\xEF\xBB\xBF[S]\r\nKEY=v\r\n", "S", "KEY"), "v");
    EXPECT_EQ(value_in("[S]\r\nKEY=\xEF\xBB\xBFv\r\n", "S", "KEY"), "\xEF\xBB\xBFv");
}

TEST(ProfileFile, EndsALineAtANulByte) {
    const std::string content =
        "[S]\r\nKEY=ab\0cd\r\nQUOTED=\"x\0\"\r\n\0HIDDEN=1\r\nNEXT=ok\r\n[T\0]\r\nT=in t\r\n"s;
    const ProfileFile profile = ProfileFile::parse(content);
    EXPECT_EQ(profile.value("S", "KEY"), "ab");
    EXPECT_EQ(profile.value("S", "QUOTED"), "\"x") << "the closing quote lies beyond the NUL";
    EXPECT_EQ(profile.value("S", "HIDDEN"), std::nullopt);
    EXPECT_EQ(profile.value("S", "NEXT"), "ok") << "the NUL ends one line only";
    EXPECT_EQ(profile.value("T", "T"), "in t");
    EXPECT_EQ(profile.value("S", "KEY\0cd"s), std::nullopt);
}

TEST(ProfileFile, PassesNonAsciiBytesThroughUnchanged) {
    const ProfileFile profile = ProfileFile::parse("[S\xC3\xA0]\r\nKEY=verr\xC3\xA0 \xE0\xFF\r\n");
    EXPECT_EQ(profile.value("S\xC3\xA0", "key"), "verr\xC3\xA0 \xE0\xFF");
    EXPECT_EQ(profile.value("S\xC3\x80", "key"), std::nullopt)
        << "only ASCII letters match regardless of case";
}

// Hostile files: whatever the content, reading ends and the keys of a clean part are found.

TEST(ProfileFileHostile, BinaryGarbageDoesNotHideTheCleanLinesAfterIt) {
    std::mt19937 generator(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string garbage(1 << 20, '\0');
    for (char& c : garbage) {
        c = static_cast<char>(byte(generator));
    }
    const ProfileFile profile = ProfileFile::parse(garbage + "\n[CLEAN]\nKEY=found\n" + garbage);
    EXPECT_EQ(profile.value("CLEAN", "KEY"), "found");
}

TEST(ProfileFileHostile, TenMegabyteLinesAreReadInFullAndCut) {
    const TempFolder folder;
    const std::string huge(10 * 1024 * 1024, 'x');
    const std::string path = folder.write("huge.ini", "[S]\r\n" + huge + "\r\nBEFORE=1\r\nLONG=" + huge +
                                                          "\r\n[" + huge + "\r\nAFTER=2\r\n[S]\r\nAFTER=3");
    const ProfileFile profile = ProfileFile::load(path);
    EXPECT_EQ(profile.value("S", "BEFORE"), "1") << "a huge line without \"=\" defines nothing";
    EXPECT_EQ(profile.value("S", "LONG"), huge.substr(0, 2047));
    EXPECT_EQ(profile.value(huge, "AFTER"), "2");
    EXPECT_EQ(profile.value("S", "AFTER"), "3");
}

TEST(ProfileFileHostile, FilesOfLineEndsOrBracketsOrEqualsSignsAloneGiveNothing) {
    const std::string size(4 * 1024 * 1024, '\0');
    for (const char filler : {'\n', '\r', '[', '=', ';', ']', '"', '\0'}) {
        const ProfileFile profile = ProfileFile::parse(std::string(size.size(), filler) + "\n[S]\nK=v");
        EXPECT_EQ(profile.value("S", "K"), "v") << "filled with byte " << static_cast<int>(filler);
    }
}

TEST(ProfileFileLoad, ReadsTheFileItNames) {
    const TempFolder folder;
    const std::string path = folder.write("job.ini", "\xEF\xBB\xBF[S]\r\nKEY=\"v\"\r\n");
    EXPECT_EQ(ProfileFile::load(path).value("s", "key"), "v");
}

TEST(ProfileFileLoad, ThrowsForAMissingFileOrAFolder) {
    const TempFolder folder;
    EXPECT_THROW(ProfileFile::load(folder / "missing.ini"), SystemError);
    EXPECT_THROW(ProfileFile::load(folder.make_folder("folder.ini")), SystemError);
}

}  // namespace
}  // namespace ferrolo::platform
