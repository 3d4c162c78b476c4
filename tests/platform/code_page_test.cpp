#include "platform/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

namespace ferrolo::platform {
namespace {

// glibc's iconv is the independent reference for both tables.
std::string iconv_convert(const char* to, const char* from, const std::string& input) {
    iconv_t converter = ::iconv_open(to, from);
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::string in = input;
    std::string out(input.size() * 4 + 4, '\0');
    char* in_pointer = in.data();
    char* out_pointer = out.data();
    size_t in_left = in.size();
    size_t out_left = out.size();
    const size_t converted = ::iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left);
    ::iconv_close(converter);
    if (converted == static_cast<size_t>(-1)) {
        return "<iconv failed>";
    }
    out.resize(out.size() - out_left);
    return out;
}

TEST(CodePage850, EveryByteDecodesAsIconvDecodesIt) {
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        const std::string utf8 = cp850_to_utf8(single);
        EXPECT_EQ(utf8, iconv_convert("UTF-8", "CP850", single)) << "byte " << byte;
        EXPECT_EQ(utf8_to_cp850(utf8), single) << "byte " << byte << " does not round-trip";
    }
}

TEST(CodePage850, AccentedItalianNameFitsAndForeignScriptDoesNot) {
    EXPECT_EQ(utf8_to_cp850("perché più è"), std::string("perch\x82 pi\x97 \x8A"));
    EXPECT_EQ(utf8_to_cp850("文件.txt"), std::nullopt);
    EXPECT_EQ(utf8_to_cp850("€"), std::nullopt) << "the euro sign has no place in code page 850";
}

TEST(CodePage850, InvalidUtf8IsRefused) {
    EXPECT_EQ(utf8_to_cp850("caf\xE9"), std::nullopt) << "a lone Latin-1 byte is not UTF-8";
    EXPECT_EQ(utf8_to_cp850("\xC0\xAF"), std::nullopt) << "an overlong form is not UTF-8";
    EXPECT_EQ(utf8_to_cp850("\xED\xA0\x80"), std::nullopt) << "a surrogate is not UTF-8";
    EXPECT_EQ(utf8_to_cp850("\xE2\x82"), std::nullopt) << "a cut character is not UTF-8";
}

TEST(CodePage1252, EveryAssignedByteDecodesAsIconvDecodesIt) {
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) {
            continue;  // unassigned in Windows-1252; iconv refuses them
        }
        const std::string single(1, static_cast<char>(byte));
        const std::string utf8 = cp1252_to_utf8(single);
        EXPECT_EQ(utf8, iconv_convert("UTF-8", "WINDOWS-1252", single)) << "byte " << byte;
        EXPECT_EQ(utf8_to_cp1252(utf8), single) << "byte " << byte << " does not round-trip";
    }
}

TEST(CodePage1252, UnknownCharactersAndBadBytesBecomeQuestionMarks) {
    EXPECT_EQ(utf8_to_cp1252("Città € 文"), std::string("Citt\xE0 \x80 ?"));
    EXPECT_EQ(utf8_to_cp1252("a\xFF"
                             "b"),
              "a?b");
}

}  // namespace
}  // namespace ferrolo::platform
