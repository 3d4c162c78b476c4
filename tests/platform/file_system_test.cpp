#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>

#include "platform/file.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/version.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::platform {
namespace {

using testing::TempFolder;

std::vector<std::string> names_of(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const DirEntry& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

TEST(FindFiles, ReturnsFilesAndFoldersSortedWithDerivedAttributes) {
    TempFolder folder;
    folder.write("b.txt", "12345");
    folder.write(".hidden", "");
    folder.make_folder("a-folder");
    const std::string read_only = folder.write("c.txt", "x");
    ::chmod(read_only.c_str(), 0444);

    const auto entries = find_files(folder.path(), "*.*");
    ASSERT_EQ(names_of(entries), (std::vector<std::string>{".hidden", "a-folder", "b.txt", "c.txt"}));
    EXPECT_EQ(entries[0].attributes, attribute::kArchive | attribute::kHidden);
    EXPECT_EQ(entries[1].attributes, attribute::kDirectory);
    EXPECT_EQ(entries[1].size, 0u);
    EXPECT_EQ(entries[2].attributes, attribute::kArchive);
    EXPECT_EQ(entries[2].size, 5u);
    EXPECT_EQ(entries[3].attributes, attribute::kArchive | attribute::kReadOnly);
}

TEST(FindFiles, LeavesOutFifosSocketsLinksToFoldersAndDanglingLinks) {
    TempFolder folder;
    folder.write("real.txt", "data");
    folder.make_folder("sub");
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink(folder.path().c_str(), (folder / "loop").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (folder / "dangling").c_str()), 0);
    ASSERT_EQ(::symlink("real.txt", (folder / "link.txt").c_str()), 0);
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = folder / "sock";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const auto entries = find_files(folder.path(), "*");
    ::close(server);
    EXPECT_EQ(names_of(entries), (std::vector<std::string>{"link.txt", "real.txt", "sub"}));
    EXPECT_EQ(entries[0].size, 4u) << "a link to a file gives the file's size";
}

TEST(FindFiles, MissingFolderGivesNothingAndUnreadableFolderThrows) {
    TempFolder folder;
    EXPECT_TRUE(find_files(folder / "missing/", "*").empty());
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads every folder";
    }
    const std::string locked = folder.make_folder("locked");
    ::chmod(locked.c_str(), 0);
    EXPECT_THROW(find_files(locked + "/", "*"), SystemError);
}

TEST(FileKinds, AFolderIsNotAFile) {
    TempFolder folder;
    folder.make_folder("sub");
    folder.write("f", "");
    EXPECT_TRUE(file_exists(folder / "f"));
    EXPECT_FALSE(file_exists(folder / "sub"));
    EXPECT_TRUE(folder_exists(folder / "sub"));
    EXPECT_FALSE(folder_exists(folder / "f"));
    EXPECT_FALSE(file_exists(folder / "missing"));
}

TEST(DeleteMatching, RemovesMatchingFilesAndFoldersWithContentsInAnyCase) {
    TempFolder folder;
    folder.write("lun.zip", "a");
    folder.write("lun.Z01", "b");
    folder.write("lun-20240130-235959.zip", "c");
    folder.write("lun.zipdir/inside.txt", "d");
    folder.write("keep.txt", "e");
    EXPECT_EQ(delete_matching(folder / "lun*.Z*"), 0);
    EXPECT_EQ(names_of(find_files(folder.path(), "*")), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(delete_matching(folder / "lun*.Z*"), 2) << "nothing left to match";
}

TEST(OpenFile, RefusesAFifoWithoutWaitingForAWriter) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::Read), SystemError);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::CreateOrAppend), SystemError);
    EXPECT_THROW(File::open(folder.path(), File::Mode::Read), SystemError) << "a folder is no file";
}

TEST(OpenFile, AppendNeedsAnExistingFileAndCreateTruncates) {
    TempFolder folder;
    EXPECT_THROW(File::open(folder / "log.txt", File::Mode::Append), SystemError);
    {
        File file = File::open(folder / "log.txt", File::Mode::Create);
        file.write("first");
    }
    {
        File file = File::open(folder / "log.txt", File::Mode::Append);
        file.write("+second");
    }
    EXPECT_EQ(testing::read_file(folder / "log.txt"), "first+second");
    File::open(folder / "log.txt", File::Mode::Create).close();
    EXPECT_EQ(testing::read_file(folder / "log.txt"), "");
}

TEST(TemporaryFile, IsDeletedWhenItGoesAndMovesWithoutLosingIt) {
    std::string path;
    {
        TemporaryFile first = TemporaryFile::create("FC");
        path = first.path();
        EXPECT_EQ(std::string(name_part(path)).substr(0, 2), "FC");
        first.file().write("staged");
        TemporaryFile second = std::move(first);
        EXPECT_TRUE(file_exists(path)) << "moving keeps the file";
        EXPECT_EQ(second.path(), path);
    }
    EXPECT_FALSE(file_exists(path));
}

TEST(FreeSpace, IsKnownForAFileNotYetCreated) {
    TempFolder folder;
    EXPECT_GT(free_space(folder / "not-yet.zip"), 0u);
    EXPECT_THROW(free_space("/no/such/folder/x.zip"), SystemError);
}

TEST(FileVersion, ReadsTheStampOfThisProgramAndNothingElsewhere) {
    EXPECT_EQ(file_version(program_path()), FERROLO_VERSION);
    TempFolder folder;
    EXPECT_EQ(file_version(folder.write("text.txt", "not a program")), "");
    EXPECT_EQ(file_version("/bin/sh"), "") << "a program without the stamp";
    std::string damaged = testing::read_file(program_path()).substr(0, 200);
    EXPECT_EQ(file_version(folder.write("cut", damaged)), "") << "a cut program file";
    EXPECT_EQ(file_version(folder / "missing"), "");
}

}  // namespace
}  // namespace ferrolo::platform
