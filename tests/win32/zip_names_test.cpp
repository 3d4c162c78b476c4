// Windows paths as the ZIP engine stores them and names its volumes.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/path_names.h"
#include "zip/entry_name.h"
#include "zip/volume_sink.h"
#include "zip/zip_archiver.h"

namespace ferrolo::zip {
namespace {

TEST(Win32Names, StoredNamesDropTheDrivePartAndUseSlashes) {
    using enum TZipStorePathMode;
    const std::vector<std::tuple<std::string, TZipStorePathMode, std::string>> cases = {
        {"C:\\data\\docs\\a.txt", spFullPath, "data/docs/a.txt"},
        {"\\\\srv\\share\\x\\b.doc", spFullPath, "share/x/b.doc"},
        {"c:\\WORK\\sub\\c.txt", spRelativePath, "sub/c.txt"},
        {"D:\\other\\d.txt", spRelativePath, "other/d.txt"},
        {"C:\\data\\docs\\a.txt", spFullPathWithDrive, "C:/data/docs/a.txt"},
        {"C:\\data\\docs\\a.txt", spNoPath, "a.txt"},
    };
    for (const auto& [path, mode, stored] : cases) {
        EXPECT_EQ(stored_name_of(path, false, mode, "C:\\work\\"), stored) << path;
    }
    EXPECT_EQ(stored_name_of("C:\\data\\", true, spFullPath, "C:\\"), "data/");
}

TEST(Win32Names, PathsAreMadeAbsoluteWithBackslashesAndVolumesAreNamedZ01) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"sub\\..\\a.txt", "C:\\work\\a.txt"},      {"/x/./y/", "C:\\x\\y\\"}, {"D:\\a", "D:\\a"},
        {"\\\\srv\\share\\f", "\\\\srv\\share\\f"}, {"..\\..\\..", "C:\\"},
    };
    for (const auto& [path, absolute] : cases) {
        EXPECT_EQ(absolute_path(path, "C:\\work"), absolute) << path;
    }
    EXPECT_EQ(platform::folder_part("C:lun.zip"), "C:");
    EXPECT_EQ(platform::name_part("\\\\srv\\share\\lun.zip"), "lun.zip");
    EXPECT_EQ(volume_file_name("D:\\bk\\lun.zip", 0, false), "D:\\bk\\lun.Z01");
    EXPECT_EQ(volume_file_name("D:\\bk\\lun.zip", 99, false), "D:\\bk\\lun.Z100");
}

}  // namespace
}  // namespace ferrolo::zip
