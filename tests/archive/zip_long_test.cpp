// Zip64 for real: entries and archives past 4 GiB and past 65,535 entries. Long (minutes), so these run
// under the CTest label "long"; the sources are sparse files, the archives real.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "archive/zip_archiver.h"
#include "tests/archive/zip_test_support.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::testing {
namespace {

using ::ferrolo::testing::read_file;
using ::ferrolo::testing::TempFolder;

constexpr uint64_t k4GiB = 0x100000000;

std::string sparse_file(const TempFolder& folder, const std::string& relative, uint64_t size) {
    const std::string path = folder.write(relative, "");
    std::filesystem::resize_file(path, size);
    return path;
}

// The last `count` bytes of `path`, without reading the rest.
std::string tail_of(const std::string& path, uint64_t count) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const uint64_t size = static_cast<uint64_t>(in.tellg());
    const uint64_t start = size > count ? size - count : 0;
    in.seekg(static_cast<std::streamoff>(start));
    std::string bytes(size - start, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string little_endian_hex(uint64_t value, int bytes) {
    std::string hex;
    for (int i = 0; i < bytes; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned>((value >> (8 * i)) & 0xFF));
        hex += pair;
    }
    return hex;
}

TEST(Zip64, EntryOfMoreThan4GiBAndEntryJustUnderTheLimitGetZip64LocalHeaders) {
    TempFolder folder;
    const uint64_t huge_size = k4GiB + 0x100000;
    const uint64_t near_size = 0xFFFFFFFE;  // fits, but its deflate bound does not
    sparse_file(folder, "data/huge.bin", huge_size);
    sparse_file(folder, "data/near.bin", near_size);
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    std::filesystem::remove(folder / "data/huge.bin");
    std::filesystem::remove(folder / "data/near.bin");

    const std::string bytes = read_file(archive);  // zeros deflate to a few MB
    const RawLocalHeader huge = local_header_at(bytes, 0);
    EXPECT_EQ(huge.name, "data/huge.bin");
    EXPECT_EQ(huge.version_needed, 45);
    EXPECT_EQ(huge.uncompressed_size, 0xFFFFFFFFu);
    EXPECT_EQ(huge.compressed_size, 0xFFFFFFFFu);
    ASSERT_EQ(huge.extra.size(), 20u);
    EXPECT_EQ(u16_at(huge.extra, 0), 1);
    EXPECT_EQ(u16_at(huge.extra, 2), 16);
    EXPECT_EQ(u64_at(huge.extra, 4), huge_size);

    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].size, huge_size);
    EXPECT_EQ(entries[0].extract_version, 45);
    EXPECT_EQ(entries[0].extra_hex, "01000800" + little_endian_hex(huge_size, 8))
        << "the central Zip64 field holds only the value that overflowed";
    EXPECT_EQ(u64_at(huge.extra, 12), entries[0].compressed_size);

    const RawLocalHeader near = local_header_at(bytes, entries[1].header_offset);
    EXPECT_EQ(near.name, "data/near.bin");
    EXPECT_EQ(near.version_needed, 45);
    ASSERT_EQ(near.extra.size(), 20u)
        << "room for Zip64 sizes is kept whenever the compressed data could pass 4 GiB";
    EXPECT_EQ(u64_at(near.extra, 4), near_size);
    EXPECT_EQ(u64_at(near.extra, 12), entries[1].compressed_size);
    EXPECT_EQ(entries[1].size, near_size);
    EXPECT_EQ(entries[1].extra_hex, "") << "in the directory both sizes fit their fields";

    expect_peers_accept(archive);
    EXPECT_TRUE(test_archive(archive).empty());
}

TEST(Zip64, OffsetsAndADirectoryPast4GiBUseZip64FieldsAndEndRecords) {
    TempFolder folder;
    const uint64_t big_size = k4GiB + 100;
    sparse_file(folder, "data/a.bin", big_size);
    folder.write("data/b.txt", "after four gigabytes");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.Zip64Mode = TZip64Mode::zmAuto;
    zip.SetCompressionLevel(TZipCompressionLevel::clNone);  // stored, so the archive itself passes 4 GiB
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    zip.Close();
    std::filesystem::remove(folder / "data/a.bin");

    const auto entries = python_entries(zip.FileName);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].extra_hex,
              "01001000" + little_endian_hex(big_size, 8) + little_endian_hex(big_size, 8));
    EXPECT_GT(entries[1].header_offset, 0xFFFFFFFFu);
    EXPECT_EQ(entries[1].extract_version, 45) << "an entry whose header lies past 4 GiB is a Zip64 entry";
    EXPECT_EQ(entries[1].extra_hex, "01000800" + little_endian_hex(entries[1].header_offset, 8));

    const std::string tail = tail_of(zip.FileName, 200);
    const uint64_t end = end_record_offset(tail);
    EXPECT_EQ(u32_at(tail, end + 16), 0xFFFFFFFFu) << "the directory offset is in the Zip64 record";
    ASSERT_EQ(u32_at(tail, end - 20), 0x07064b50u);
    ASSERT_EQ(u32_at(tail, end - 76), 0x06064b50u);
    EXPECT_EQ(u64_at(tail, end - 76 + 32), 2u) << "total entries";
    EXPECT_GT(u64_at(tail, end - 76 + 48), 0xFFFFFFFFu) << "directory offset";
    EXPECT_EQ(u32_at(tail, end - 20 + 16), 1u) << "total disks";

    expect_peers_accept(zip.FileName);
    EXPECT_TRUE(test_archive(zip.FileName).empty());
}

TEST(Zip64, MoreThan65535EntriesNeedTheZip64EndRecords) {
    TempFolder folder;
    constexpr int kFolders = 16;
    constexpr int kFilesPerFolder = 4096;
    for (int f = 0; f < kFolders; ++f) {
        const std::string sub = folder.make_folder("data/f" + std::to_string(f));
        for (int i = 0; i < kFilesPerFolder; ++i) {
            ::ferrolo::testing::write_file(sub + "/" + std::to_string(i) + ".txt",
                                           "file " + std::to_string(i));
        }
    }
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    std::filesystem::remove_all(folder / "data");

    const uint64_t total = kFolders * kFilesPerFolder + kFolders;
    const std::string tail = tail_of(archive, 200);
    const uint64_t end = end_record_offset(tail);
    EXPECT_EQ(u16_at(tail, end + 8), 0xFFFF);
    EXPECT_EQ(u16_at(tail, end + 10), 0xFFFF);
    ASSERT_EQ(u32_at(tail, end - 76), 0x06064b50u);
    EXPECT_EQ(u64_at(tail, end - 76 + 24), total);
    EXPECT_EQ(u64_at(tail, end - 76 + 32), total);
    EXPECT_EQ(python_entries(archive).size(), total);
    expect_peers_accept(archive);
    std::vector<Event> events;
    EXPECT_TRUE(test_archive(archive, &events).empty());
}

}  // namespace
}  // namespace ferrolo::archive::testing
