#include "platform/wildcard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ferrolo::platform {
namespace {

TEST(FileMask, FollowsTheWindowsDirectorySearchRules) {
    const std::vector<std::string> any = {"README", "a.txt", "archive.tar.gz", ".hidden"};
    const auto kAnyCase = LetterCase::Insensitive, kExact = LetterCase::Sensitive;
    struct Case {
        const char* mask;
        LetterCase letter_case;
        std::vector<std::string> matching, other;
    };
    const Case cases[] = {
        {"*.*", kExact, any, {}},  // names without a dot too
        {"*", kExact, any, {}},
        {"*.txt", kExact, {"a.txt", "a.b.txt"}, {"a.txt.bak", "atxt", "a.TXT"}},  // the last extension only
        {"*.", kExact, {"Makefile"}, {"a.txt"}},
        {"lun.*", kExact, {"lun", "lun.zip", "lun.a.zip"}, {"lunedi"}},
        {"a?.txt", kExact, {"ab.txt", "a.txt"}, {"abc.txt"}},  // "?" is one character or none before a dot
        {"data?", kExact, {"data", "data1"}, {}},
        // The deletion mask catches volumes and stamped names.
        {"lun*.Z*",
         kAnyCase,
         {"lun.zip", "lun.z01", "lun.Z01", "LUN.ZIP", "lun-20240130-235959.zip", "lun2.zip"},
         {"lun.txt", "other.zip"}},
        {"*a*a*a*a*a*a*a*a*a*b", kExact, {}, {std::string(5000, 'a')}},  // many stars stay fast
    };
    for (const auto& [mask, letter_case, matching, other] : cases) {
        for (const std::string& name : matching) {
            EXPECT_TRUE(matches_file_mask(name, mask, letter_case)) << name << " ~ " << mask;
        }
        for (const std::string& name : other) {
            EXPECT_FALSE(matches_file_mask(name, mask, letter_case)) << name << " ~ " << mask;
        }
    }
    EXPECT_FALSE(matches_file_mask("lun.zip", "lun*.Z*")) << "case-sensitive by default";
    // Masks as long as a command line allows neither crash nor crawl: stars run together match as one,
    // and a mask longer than any path matches nothing.
    EXPECT_TRUE(matches_file_mask("a.txt", std::string(200'000, '*') + ".txt"));
    EXPECT_FALSE(matches_file_mask("a", std::string(200'000, '?')));
}

}  // namespace
}  // namespace ferrolo::platform
