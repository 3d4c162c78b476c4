#include "platform/code_page.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

namespace ferrolo::platform {
namespace {

// glibc's iconv is the independent reference for both tables.
std::string iconv_to_utf8(const char* from, std::string in) {
    iconv_t converter = ::iconv_open("UTF-8", from);
    std::string out(in.size() * 4 + 4, '\0');
    char* in_pointer = in.data();
    char* out_pointer = out.data();
    size_t in_left = in.size(), out_left = out.size();
    const size_t converted = ::iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left);
    ::iconv_close(converter);
    out.resize(out.size() - out_left);
    return converted == static_cast<size_t>(-1) ? "<iconv failed>" : out;
}

TEST(CodePages, EveryAssignedByteDecodesAsIconvDecodesItAndRoundTrips) {
    for (int byte = 0x20; byte <= 0xFF; ++byte) {
        const std::string single(1, static_cast<char>(byte));
        EXPECT_EQ(cp850_to_utf8(single), iconv_to_utf8("CP850", single)) << "850, byte " << byte;
        EXPECT_EQ(utf8_to_cp850(cp850_to_utf8(single)), single) << "850, byte " << byte;
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) {
            continue;  // unassigned in Windows-1252; iconv refuses them
        }
        EXPECT_EQ(cp1252_to_utf8(single), iconv_to_utf8("WINDOWS-1252", single)) << "1252, byte " << byte;
        EXPECT_EQ(utf8_to_cp1252(cp1252_to_utf8(single)), single) << "1252, byte " << byte;
    }
}

TEST(CodePages, AccentedItalianFitsBothAndWhatHasNoPlaceIsRefusedBy850AndAQuestionMarkIn1252) {
    EXPECT_EQ(utf8_to_cp850("perché più è"), std::string("perch\x82 pi\x97 \x8A"));
    EXPECT_EQ(upper_ascii("vs700mb àè"), "VS700MB àè") << "only ASCII letters change case";
    EXPECT_EQ(utf8_to_cp1252("Città € 文"), std::string("Citt\xE0 \x80 ?"));
    EXPECT_EQ(utf8_to_cp1252("a\xFF"
                             "b"),
              "a?b");
    // No place in code page 850; then a lone Latin-1 byte, an overlong form, a surrogate and a cut
    // character, which are not UTF-8.
    for (const char* refused : {"文件.txt", "€", "caf\xE9", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82"}) {
        EXPECT_EQ(utf8_to_cp850(refused), std::nullopt) << refused;
    }
}

}  // namespace
}  // namespace ferrolo::platform
