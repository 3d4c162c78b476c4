#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

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
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = folder / "sock";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const auto entries = find_files(folder.path(), "*.*");
    ::close(server);
    ASSERT_EQ(names_of(entries),
              (std::vector<std::string>{".hidden", "a-folder", "b.txt", "c.txt", "link.txt"}));
    const std::vector<std::pair<uint32_t, uint64_t>> attributes_size = {
        {attribute::kArchive | attribute::kHidden, 0},
        {attribute::kDirectory, 0},
        {attribute::kArchive, 5},
        {attribute::kArchive | attribute::kReadOnly, 1},
        {attribute::kArchive, 5}};  // a link gives its file's
    for (size_t n = 0; n < entries.size(); ++n) {
        EXPECT_EQ(std::pair(entries[n].attributes, entries[n].size), attributes_size[n]) << entries[n].name;
    }
    EXPECT_TRUE(find_files(folder / "missing/", "*").empty());
    EXPECT_TRUE(file_exists(folder / "b.txt"));
    EXPECT_TRUE(folder_exists(folder / "a-folder"));
    EXPECT_FALSE(file_exists(folder / "a-folder")) << "a folder is not a file";
    EXPECT_FALSE(folder_exists(folder / "b.txt"));
    EXPECT_FALSE(file_exists(folder / "pipe"));
}

TEST(DeleteMatching, RemovesMatchingFilesAndFoldersWithContentsInAnyCase) {
    TempFolder folder;
    for (const char* name :
         {"lun.zip", "lun.Z01", "lun-20240130-235959.zip", "lun.zipdir/inside.txt", "keep.txt"}) {
        folder.write(name, "old");
    }
    EXPECT_EQ(delete_matching(folder / "lun*.Z*"), 0);
    EXPECT_EQ(names_of(find_files(folder.path(), "*")), (std::vector<std::string>{"keep.txt"}));
    EXPECT_EQ(delete_matching(folder / "lun*.Z*"), 2) << "nothing left to match";
}

TEST(OpenFile, NeverWaitsOnAFifoRefusesAFolderAppendsOnlyToAnExistingFileAndCreateTruncates) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0644), 0);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::Read), SystemError);
    EXPECT_THROW(File::open(folder / "pipe", File::Mode::CreateOrAppend), SystemError);
    EXPECT_THROW(File::open(folder.path(), File::Mode::Read), SystemError);
    EXPECT_THROW(File::open(folder / "log.txt", File::Mode::Append), SystemError);
    File::open(folder / "log.txt", File::Mode::Create).write("first");
    File::open(folder / "log.txt", File::Mode::Append).write("+second");
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
    for (const std::string& other :
         {folder.write("text.txt", "not a program"), std::string("/bin/sh"), folder / "missing",
          folder.write("cut", testing::read_file(program_path()).substr(0, 200))}) {
        EXPECT_EQ(file_version(other), "") << other;
    }
}

}  // namespace
}  // namespace ferrolo::platform
