#include "platform/profile.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/system_error.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::platform {
namespace {

using namespace std::string_literals;
using testing::TempFolder;

TEST(ProfileFile, FindsKeysInTheirOwnSectionWithoutRegardToLetterCase) {
    const ProfileFile profile = ProfileFile::parse(
        "KEY=before any section\r\n[Parametri_FileZip]\r\nTest_Zip=SI\r\nEMPTY=\r\n[B]\r\nOTHER=b\r\n");
    EXPECT_EQ(profile.value("parametri_filezip", "TEST_ZIP"), "SI");
    EXPECT_EQ(profile.value("B", "TEST_ZIP"), std::nullopt) << "a key must not leak into the next section";
    EXPECT_EQ(profile.value("", "KEY"), std::nullopt) << "keys before the first section belong to none";
    EXPECT_EQ(profile.value("PARAMETRI_FILEZIP", "EMPTY"), "") << "an empty value is not a missing key";
    EXPECT_EQ(profile.value("C", "OTHER"), std::nullopt);
}

TEST(ProfileFile, TakesTheTextAfterTheFirstEqualsSignWithoutBlanksOrOnePairOfQuotes) {
    const ProfileFile profile = ProfileFile::parse(
        "  [ S ]  \r\n"
        "\t KEY \t=  a = b ; not a comment \t\r\n"
        ";COMMENT=1\r\n \t;INDENTED=1\r\n"
        "DOUBLE=  \" inner blanks \"  \r\nSINGLE=' x '\r\nTWO_PAIRS=\"\"x\"\"\r\n"
        "MIXED=\"x'\r\nOPENING_ONLY=\"x\r\nLONE=\"\r\nEMPTY_PAIR=''\r\nBLANKS=  \t \r\n");
    EXPECT_EQ(profile.value("S", "KEY"), "a = b ; not a comment");
    EXPECT_EQ(profile.value("S", "COMMENT"), std::nullopt);
    EXPECT_EQ(profile.value("S", "INDENTED"), std::nullopt);
    EXPECT_EQ(profile.value("S", "DOUBLE"), " inner blanks ");
    EXPECT_EQ(profile.value("S", "SINGLE"), " x ");
    EXPECT_EQ(profile.value("S", "TWO_PAIRS"), "\"x\"");
    EXPECT_EQ(profile.value("S", "MIXED"), "\"x'");
    EXPECT_EQ(profile.value("S", "OPENING_ONLY"), "\"x");
    EXPECT_EQ(profile.value("S", "LONE"), "\"");
    EXPECT_EQ(profile.value("S", "EMPTY_PAIR"), "");
    EXPECT_EQ(profile.value("S", "BLANKS"), "");
}

TEST(ProfileFile, CutsValuesTo2047BytesAfterRemovingTheQuotes) {
    std::string long_value;
    while (long_value.size() < 3000) {
        long_value += std::to_string(long_value.size() % 10);
    }
    const ProfileFile profile =
        ProfileFile::parse("[S]\r\nPLAIN=" + long_value + "\r\nQUOTED=\"" + long_value + "\"\r\n");
    EXPECT_EQ(profile.value("S", "PLAIN"), long_value.substr(0, 2047));
    EXPECT_EQ(profile.value("S", "QUOTED"), long_value.substr(0, 2047));
}

TEST(ProfileFile, KeepsTheFirstOccurrenceOfAKeyAlsoAcrossRepeatedSections) {
    const ProfileFile profile = ProfileFile::parse(
        "[S]\r\nKEY=first\r\nKEY=second\r\n[T]\r\nKEY=other\r\n[s]\r\nKEY=third\r\nLATE=added\r\n");
    EXPECT_EQ(profile.value("S", "KEY"), "first");
    EXPECT_EQ(profile.value("T", "KEY"), "other");
    EXPECT_EQ(profile.value("S", "LATE"), "added") << "a repeated section still contributes new keys";
}

TEST(ProfileFile, DefinesNothingForLinesWithoutAKeyAndItsEqualsSign) {
    const ProfileFile profile =
        ProfileFile::parse("[S\r\nKEY\r\n=orphan\r\n  =\r\nGOOD=1\r\n[CLOSED] trailing text\r\nB=2\r\n");
    EXPECT_EQ(profile.value("S", "KEY"), std::nullopt);
    EXPECT_EQ(profile.value("S", ""), std::nullopt);
    EXPECT_EQ(profile.value("S", "GOOD"), "1") << "an unclosed section name runs to the line end";
    EXPECT_EQ(profile.value("CLOSED", "B"), "2");
}

TEST(ProfileFile, ReadsTheSameValuesWhateverTheLineEnds) {
    for (const std::string line_end : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE("line end of " + std::to_string(line_end.size()) + " bytes");
        const ProfileFile profile =
            ProfileFile::parse("[S]" + line_end + "A=1" + line_end + line_end + "[T]" + line_end + "B=2");
        EXPECT_EQ(profile.value("S", "A"), "1");
        EXPECT_EQ(profile.value("T", "B"), "2") << "the last line needs no line end";
    }
    const ProfileFile mixed = ProfileFile::parse("[S]\nA=1\r\rB=2\r\n\nC=3\n\rD=4\r");
    EXPECT_EQ(mixed.value("S", "A").value_or("") + mixed.value("S", "B").value_or("") +
                  mixed.value("S", "C").value_or("") + mixed.value("S", "D").value_or(""),
              "1234");
}

TEST(ProfileFile, SkipsAByteOrderMarkAtTheStartAndPassesOtherBytesThrough) {
    const ProfileFile profile =
        ProfileFile::parse("\xEF\xBB\xBF[S\xC3\xA0]\r\nKEY=\xEF\xBB\xBFverr\xC3\xA0\xFF\r\n");
    EXPECT_EQ(profile.value("S\xC3\xA0", "key"), "\xEF\xBB\xBFverr\xC3\xA0\xFF");
    EXPECT_EQ(profile.value("S\xC3\x80", "key"), std::nullopt)
        << "only ASCII letters match regardless of case";
}

TEST(ProfileFile, EndsALineAtANulByte) {
    const ProfileFile profile = ProfileFile::parse(
        "[S]\r\nKEY=ab\0cd\r\nQUOTED=\"x\0\"\r\n\0HIDDEN=1\r\nNEXT=ok\r\n[T\0]\r\nT=in t\r\n"s);
    EXPECT_EQ(profile.value("S", "KEY"), "ab");
    EXPECT_EQ(profile.value("S", "QUOTED"), "\"x") << "the closing quote lies beyond the NUL";
    EXPECT_EQ(profile.value("S", "HIDDEN"), std::nullopt);
    EXPECT_EQ(profile.value("S", "NEXT"), "ok") << "the NUL ends one line only";
    EXPECT_EQ(profile.value("T", "T"), "in t");
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

TEST(ProfileFileHostile, ManyKeysUnderAHugeSectionNameCostNoMoreThanTheirBytes) {
    const std::string name(10 * 1024 * 1024, 's');
    std::string content = "[" + name + "]\n";
    for (int number = 0; number < 100000; ++number) {
        content += "K" + std::to_string(number) + "=" + std::to_string(number) + "\n";
    }
    EXPECT_EQ(ProfileFile::parse(content).value(name, "k99999"), "99999");
}

TEST(ProfileFileHostile, FilesOfOneRepeatedSpecialByteGiveNothing) {
    for (const char filler : {'\n', '\r', '[', '=', ';', ']', '"', '\0'}) {
        const ProfileFile profile = ProfileFile::parse(std::string(4 * 1024 * 1024, filler) + "\n[S]\nK=v");
        EXPECT_EQ(profile.value("S", "K"), "v") << "filled with byte " << static_cast<int>(filler);
    }
}

TEST(ProfileFileLoad, ReadsTheFileItNamesAndThrowsForAMissingFileOrAFolder) {
    const TempFolder folder;
    EXPECT_EQ(ProfileFile::load(folder.write("job.ini", "[S]\r\nKEY=\"v\"")).value("s", "key"), "v");
    EXPECT_THROW(ProfileFile::load(folder / "missing.ini"), SystemError);
    EXPECT_THROW(ProfileFile::load(folder.make_folder("folder.ini")), SystemError);
}

}  // namespace
}  // namespace ferrolo::platform
