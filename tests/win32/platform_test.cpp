// The platform layer on real Win32 calls, run under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <tuple>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "platform/system_error.h"
#include "platform/version.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::platform {
namespace {

using testing::TempFolder;

// For the ASCII paths the tests make themselves.
std::wstring ascii_wide(const std::string& path) {
    return std::wstring(path.begin(), path.end());
}

std::vector<std::string> names(const std::vector<DirEntry>& entries) {
    std::vector<std::string> found;
    for (const DirEntry& entry : entries) {
        found.push_back(entry.name);
    }
    return found;
}

TEST(Win32Search, MatchesMasksByWindowsRulesWithoutLetterCaseAndGivesTheSystemsAttributes) {
    TempFolder folder;
    for (const char* name : {"a.txt", "B.TXT", "noext", "x.tar.gz", "h.dat", "r.dat"}) {
        folder.write(name, "12345");
    }
    folder.make_folder("sub");
    ::SetFileAttributesW(ascii_wide(folder / "h.dat").c_str(),
                         FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
    ::SetFileAttributesW(ascii_wide(folder / "r.dat").c_str(),
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"*.*", {"a.txt", "B.TXT", "h.dat", "noext", "r.dat", "sub", "x.tar.gz"}},
        {"*.TXT", {"a.txt", "B.TXT"}},
        {"?.txt", {"a.txt", "B.TXT"}},
        {"x.*", {"x.tar.gz"}},
        {"NOEXT.*", {"noext"}},
        {"*.z*", {}},
    };
    for (const auto& [mask, expected] : cases) {
        EXPECT_EQ(names(find_files(folder.path(), mask)), expected) << mask;
    }
    std::vector<std::tuple<std::string, uint32_t, uint64_t>> found;
    for (const DirEntry& entry : find_files(folder.path(), "*.dat")) {
        found.emplace_back(entry.name, entry.attributes, entry.size);
    }
    EXPECT_EQ(found, (decltype(found){{"h.dat", attribute::kHidden | attribute::kArchive, 5},
                                      {"r.dat", attribute::kReadOnly | attribute::kArchive, 5}}));
    EXPECT_TRUE(path_entry(folder / "SUB")->is_folder());
    // The shell's deletion takes read-only files too.
    EXPECT_TRUE(delete_files({folder / "h.dat", folder / "r.dat"}));
    EXPECT_TRUE(find_files(folder.path(), "*.dat").empty());
}

TEST(Win32Files, ReachLongAndForeignNamesAndACopyReplacesItsTargetInOneRename) {
    TempFolder folder;
    const std::string deep = folder.make_folder(std::string(120, 'd') + "\\" + std::string(120, 'e') + "\\");
    const std::string name = "citt\xC3\xA0-\xCE\xA9.zip";  // "città-Ω.zip": Ω is outside the ANSI code page
    const std::string target = deep + name;
    ASSERT_GT(target.size(), 260u);
    File::open(target, File::Mode::Create).write("old");
    TemporaryFile copy = TemporaryFile::create_beside(target);
    copy.file().write("new copy");
    EXPECT_EQ(TemporaryFile::leftovers_beside(target), std::vector<std::string>{copy.path()});
    copy.keep_as(target);
    EXPECT_EQ(names(find_files(deep, "*.ZIP")), std::vector<std::string>{name});
    EXPECT_EQ(path_entry(target)->size, 8u);
    EXPECT_TRUE(remove_file(target));
    EXPECT_FALSE(file_exists(target));
}

TEST(Win32Files, GiveTheirWriteTimeAndTheClockAgreesWithUtc) {
    TempFolder folder;
    const std::string path = folder.write("t.txt", "x");
    const uint64_t ticks = 133643108965000000;  // 2024-07-01 12:34:56.5 UTC, 100 ns since 1601
    const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE handle =
        ::CreateFileW(ascii_wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(::SetFileTime(handle, nullptr, nullptr, &written));
    ::CloseHandle(handle);
    const FileTime expected = FileTime(std::chrono::milliseconds(1719837296500));
    EXPECT_EQ(path_entry(path)->last_write, expected);
    EXPECT_EQ(find_files(folder.path(), "t.txt").at(0).last_write, expected);

    using namespace std::chrono;
    const LocalTime local = to_local_time(expected);
    const auto local_moment = sys_days(year(local.year) / local.month / local.day) + hours(local.hour) +
                              minutes(local.minute) + seconds(local.second);
    EXPECT_EQ(local_moment - minutes(utc_offset_minutes(expected)), floor<seconds>(expected));
}

TEST(Win32Files, FreeSpaceIsThatOfTheDriveAndAMissingDriveIsAnError) {
    TempFolder folder;
    EXPECT_GT(free_space(folder.path()), 0u);
    EXPECT_GT(free_space(folder / "not-yet.zip"), 0u);
    EXPECT_THROW(free_space("Q:\\backup\\lun.zip"), SystemError);
}

TEST(Win32Files, TheVersionResourceGivesTheProjectVersionAndAFileWithoutOneNothing) {
    TempFolder folder;
    EXPECT_EQ(file_version(program_path()), FERROLO_VERSION);
    EXPECT_EQ(file_version(folder.write("plain.exe", "MZ")), "");
}

TEST(Win32Text, JobFilesAndLogsAreInTheAnsiCodePageUnlessMarkedUtf8) {
    ASSERT_EQ(::GetACP(), 1252u);
    EXPECT_EQ(to_system_code_page("citt\xC3\xA0 \xCE\xA9"), "citt\xE0 ?");
    EXPECT_EQ(from_system_code_page("citt\xE0"), "citt\xC3\xA0");
    TempFolder folder;
    for (const char* content : {"[S]\r\nK=citt\xE0\r\n", "\xEF\xBB\xBF[S]\r\nK=citt\xC3\xA0\r\n"}) {
        EXPECT_EQ(ProfileFile::load(folder.write("job.ini", content)).value("s", "k"), "citt\xC3\xA0");
    }
}

}  // namespace
}  // namespace ferrolo::platform
