#include "platform/profile.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/system_error.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::platform {
namespace {

using namespace std::string_literals;
using testing::TempFolder;

TEST(ProfileFile, MatchesNamesInAnyCaseAndTakesTheFirstValueWithoutItsBlanksOrOnePairOfQuotes) {
    const std::string long_value = std::string(2046, 'a') + "bc" + std::string(952, 'd');
    const ProfileFile profile = ProfileFile::parse(
        "\xEF\xBB\xBF  [ Parametri_FileZip ]  \r\nTest_Zip=SI\r\nEMPTY=\r\n"
        "\t KEY \t=  a = b ; not a comment \t\r\n \t;INDENTED=1\r\n"
        "DOUBLE=  \" inner blanks \"  \r\nSINGLE=' x '\r\nTWO_PAIRS=\"\"x\"\"\r\nMIXED=\"x'\r\nLONE=\"\r\n"
        "EMPTY_PAIR=''\r\nKEY=second\r\nNO_EQUALS\r\n=orphan\r\n  =\r\n"
        "LONG=" +
        long_value + "\r\nQUOTED_LONG=\"" + long_value +
        "\"\r\n"
        "[B]\r\nTEST_ZIP=other\r\n[parametri_filezip]\r\nKEY=third\r\nLATE=added\r\n"
        "[UNCLOSED\r\nGOOD=1\r\n[CLOSED] trailing text\r\nB=2\r\n"
        "[NUL]\r\nKEY=ab\0cd\r\nQUOTED=\"x\0\"\r\nNEXT=ok\r\n"
        "[S\xC3\xA0]\r\nKEY=\xEF\xBB\xBFverr\xC3\xA0\xFF\r\n"s);
    const std::tuple<std::string, std::string, std::optional<std::string>> expected[] = {
        {"parametri_filezip", "TEST_ZIP", "SI"},
        {"PARAMETRI_FILEZIP", "EMPTY", ""},
        {"PARAMETRI_FILEZIP", "KEY", "a = b ; not a comment"},
        {"PARAMETRI_FILEZIP", ";INDENTED", std::nullopt},
        {"PARAMETRI_FILEZIP", "DOUBLE", " inner blanks "},
        {"PARAMETRI_FILEZIP", "SINGLE", " x "},
        {"PARAMETRI_FILEZIP", "TWO_PAIRS", "\"x\""},
        {"PARAMETRI_FILEZIP", "MIXED", "\"x'"},
        {"PARAMETRI_FILEZIP", "LONE", "\""},
        {"PARAMETRI_FILEZIP", "EMPTY_PAIR", ""},
        {"PARAMETRI_FILEZIP", "NO_EQUALS", std::nullopt},
        {"PARAMETRI_FILEZIP", "", std::nullopt},
        {"PARAMETRI_FILEZIP", "LONG", long_value.substr(0, 2047)},
        {"PARAMETRI_FILEZIP", "QUOTED_LONG", long_value.substr(0, 2047)},
        {"PARAMETRI_FILEZIP", "LATE", "added"},
        {"B", "TEST_ZIP", "other"},
        {"UNCLOSED", "GOOD", "1"},
        {"CLOSED", "B", "2"},
        {"NUL", "KEY", "ab"},
        {"NUL", "QUOTED", "\"x"},
        {"NUL", "NEXT", "ok"},
        {"S\xC3\xA0", "key", "\xEF\xBB\xBFverr\xC3\xA0\xFF"},
        {"S\xC3\x80", "key", std::nullopt}};
    for (const auto& [section, key, value] : expected) {
        EXPECT_EQ(profile.value(section, key), value) << section << "/" << key;
    }
}

TEST(ProfileFile, ReadsTheSameValuesWhateverTheLineEndsAndWithoutAFinalOne) {
    for (const std::string content : {"A=0\r\n[S]\r\nA=1\r\n\r\n[T]\r\nB=2", "A=0\n[S]\nA=1\n\n[T]\nB=2",
                                      "A=0\r[S]\rA=1\r\r[T]\rB=2", "A=0\n\r[S]\r\rA=1\r\n\n[T]\n\rB=2\r"}) {
        const ProfileFile profile = ProfileFile::parse(content);
        EXPECT_EQ(std::tuple(profile.value("", "A"), profile.value("S", "A"), profile.value("T", "B")),
                  std::tuple(std::nullopt, "1"s, "2"s))
            << "keys before the first section belong to none: " << content;
    }
}

// Whatever comes before and after it, reading ends and a clean section is found.
TEST(ProfileFile, FindsACleanSectionAmidBinaryGarbageOrMegabytesOfOneRepeatedByte) {
    std::mt19937 generator(20240601);
    std::vector<std::string> noises = {std::string(1 << 20, '\0')};
    for (char& c : noises[0]) {
        c = static_cast<char>(generator());
    }
    for (const char filler : "\n\r[=;]\"\0"s) {
        noises.emplace_back(4 << 20, filler);
    }
    for (const std::string& noise : noises) {
        EXPECT_EQ(ProfileFile::parse(noise + "\n[CLEAN]\nKEY=found\n" + noise).value("CLEAN", "KEY"), "found")
            << "noise beginning with byte " << static_cast<int>(noise[0]);
    }
}

// A section name stored once per key would make this file cost a terabyte.
TEST(ProfileFile, LoadsTenMegabyteLinesInFullAndThrowsForAMissingFileOrAFolder) {
    const TempFolder folder;
    const std::string huge(10 * 1024 * 1024, 'x');
    std::string content = "[S]\r\n" + huge + "\r\nBEFORE=1\r\nLONG=" + huge + "\r\n[" + huge + "\r\n";
    for (int number = 0; number < 100000; ++number) {
        const std::string value = std::to_string(number);
        content.append("K").append(value).append("=").append(value).append("\r\n");
    }
    const ProfileFile profile = ProfileFile::load(folder.write("huge.ini", content + "[S]\r\nAFTER=3"));
    EXPECT_EQ(profile.value("S", "BEFORE"), "1") << "a huge line without \"=\" defines nothing";
    EXPECT_EQ(profile.value("S", "LONG"), huge.substr(0, 2047));
    EXPECT_EQ(profile.value(huge, "k99999"), "99999");
    EXPECT_EQ(profile.value("S", "AFTER"), "3");
    EXPECT_THROW(ProfileFile::load(folder / "missing.ini"), SystemError);
    EXPECT_THROW(ProfileFile::load(folder.make_folder("folder.ini")), SystemError);
}

}  // namespace
}  // namespace ferrolo::platform
