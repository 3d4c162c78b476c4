#include "platform/file_system.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <tuple>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/version.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::platform {
namespace {

using testing::TempFolder;

TEST(FindFiles, ListsOnlyRegularFilesAndRealFoldersSortedWithDerivedAttributesAndAFolderIsNoFile) {
    TempFolder folder;
    folder.write("b.txt", "12345");
    folder.write(".hidden", "");
    folder.make_folder("a-folder");
    ::chmod(folder.write("c.txt", "x").c_str(), 0444);
    ASSERT_EQ(::symlink("b.txt", (folder / "link.txt").c_str()), 0);
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(folder.path().c_str(), (folder / "loop").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (folder / "dangling").c_str()), 0);
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
    ASSERT_LT((folder / "sock").copy(address.sun_path, sizeof address.sun_path), sizeof address.sun_path);
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    std::vector<std::tuple<std::string, uint32_t, uint64_t>> found;
    for (const DirEntry& entry : find_files(folder.path(), "*.*")) {
        found.emplace_back(entry.name, entry.attributes, entry.size);
    }
    ::close(server);
    using namespace attribute;
    EXPECT_EQ(found, (std::vector<std::tuple<std::string, uint32_t, uint64_t>>{
                         {".hidden", kArchive | kHidden, 0},
                         {"a-folder", kDirectory, 0},
                         {"b.txt", kArchive, 5},
                         {"c.txt", kArchive | kReadOnly, 1},
                         {"link.txt", kArchive, 5}}));  // a link gives its file's
    EXPECT_TRUE(find_files(folder / "missing/", "*").empty());
    EXPECT_TRUE(file_exists(folder / "b.txt"));
    EXPECT_TRUE(folder_exists(folder / "a-folder"));
    EXPECT_FALSE(file_exists(folder / "a-folder")) << "a folder is not a file";
    EXPECT_FALSE(folder_exists(folder / "b.txt"));
    EXPECT_FALSE(file_exists(folder / "pipe"));
    EXPECT_GT(free_space(folder / "not-yet.zip"), 0u) << "free space is known for a file not yet created";
    EXPECT_THROW(free_space("/no/such/folder/x.zip"), SystemError);

    // A date past the clock's range (the year 2400) is held at its end instead of overflowing.
    const timespec far_off[2] = {{13'569'465'600, 0}, {13'569'465'600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (folder / "b.txt").c_str(), far_off, 0), 0);
    EXPECT_GT(path_entry(folder / "b.txt")->last_write, FileTime::clock::now());
}

// Appending, creating and truncating are seen through the logs, which open their files for every line.
TEST(OpenFile, NeverWaitsOnAFifoAndRefusesAFolder) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::Read), SystemError);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::Create), SystemError);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::Append), SystemError);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::Append, File::Allowed::RegularFileOrCharacterDevice),
                 SystemError)
        << "a log may be a character device, never a FIFO";
    EXPECT_THROW(File::open("/dev/null", File::Mode::Create), SystemError) << "a device only where allowed";
    EXPECT_THROW(File::open(folder.path(), File::Mode::Read), SystemError);
}

// Writing never follows a link another user planted (the archive and the copies replace it by a rename).
TEST(OpenFile, WritesThroughNoLinkOfAnotherUser) {
    TempFolder folder;
    const std::string victim = folder.write("victim", "precious");
    ASSERT_EQ(::symlink(victim.c_str(), (folder / "planted").c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), (folder / "own").c_str()), 0);
    if (::geteuid() != 0 || ::lchown((folder / "planted").c_str(), 65534, 65534) != 0) {
        GTEST_SKIP() << "giving a link to another user needs root";
    }
    for (const File::Mode mode : {File::Mode::Create, File::Mode::Append}) {
        EXPECT_THROW(File::open(folder / "planted", mode, File::Allowed::RegularFileOrCharacterDevice),
                     SystemError)
            << static_cast<int>(mode);
    }
    EXPECT_THROW(File::open(folder / "planted", File::Mode::ReadWrite), SystemError);
    EXPECT_NO_THROW(File::open(folder / "planted", File::Mode::Read));
    EXPECT_NO_THROW(File::open(folder / "own", File::Mode::Append)) << "a link of one's own is followed";
    EXPECT_EQ(testing::read_file(victim), "precious");
}

TEST(FileVersion, ReadsTheStampOfThisProgramAndNothingElsewhere) {
    EXPECT_EQ(file_version(program_path()), FERROLO_VERSION);
    TempFolder folder;
    for (const std::string& other :
         {folder.write("text.txt", "not a program"), std::string("/bin/sh"), folder / "missing",
          folder.write("cut", testing::read_file(program_path()).substr(0, 200))}) {
        EXPECT_EQ(file_version(other), "") << other;
    }
}

}  // namespace
}  // namespace ferrolo::platform
