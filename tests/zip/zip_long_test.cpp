// Zip64 for real: an entry past 4 GiB, and an archive past 4 GiB and past 65,535 entries. Minutes of work,
// so these run under the CTest label "long"; the big sources are sparse files, the archives real, and
// pack() has every one read by the peers.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>

#include "tests/zip/zip_test_support.h"

namespace ferrolo::zip::testing {
namespace {

constexpr uint64_t k4GiB = 0x100000000;

TEST(Zip64, AnEntryOfMoreThan4GiBAndOneWhoseDeflatedSizeCouldPassItGetZip64Sizes) {
    TempFolder folder;
    const uint64_t huge = 5 * 0x40000000ull, near = 0xFFFFFFFE;  // near fits, its deflate bound does not
    std::filesystem::resize_file(folder.write("data/huge.bin", ""), huge);  // sparse
    std::filesystem::resize_file(folder.write("data/near.bin", ""), near);
    TZipArchiver zip{"Zip"};
    zip.WorkerThreads = 16;  // more than this machine has: the memory bound holds whatever the number
    const Packed packed = pack(zip, folder);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (!FERROLO_SANITIZED) {
        EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "peak memory in KiB, packing and testing 9 GiB";
    }
    std::filesystem::remove_all(folder / "data");
    ASSERT_EQ(packed.entries.size(), 2u);
    const PeerEntry &big = packed.entries[0], &close = packed.entries[1];
    EXPECT_EQ(std::tuple(big.name, big.size, big.extract_version, big.extra),
              std::tuple("data/huge.bin", huge, 45, le_bytes(0x00080001, 4) + le_bytes(huge, 8)))
        << "the central Zip64 field holds only the value that overflowed";
    EXPECT_EQ(std::tuple(close.size, close.extract_version, close.extra), std::tuple(near, 45, ""))
        << "in the directory both sizes fit their fields";
    EXPECT_EQ(le(bytes_at(packed.path, 18, 8), 0, 8), ~0ull) << "both local size fields of the huge entry";
    for (const PeerEntry& e : packed.entries) {
        EXPECT_EQ(e.local_extra,
                  le_bytes(0x00100001, 4) + le_bytes(e.size, 8) + le_bytes(e.compressed_size, 8))
            << e.name << ": room for Zip64 sizes whenever the compressed data could pass 4 GiB";
    }
}

TEST(Zip64, AnArchiveOfMoreThan4GiBAnd65535EntriesUsesZip64OffsetsAndEndRecords) {
    TempFolder folder;
    const uint64_t big = k4GiB + 100, total = 1 + 16 + 16 * 4096;
    std::filesystem::resize_file(folder.write("data/a.bin", ""), big);  // sparse
    for (int f = 0; f < 16; ++f) {
        const std::string sub = folder.make_folder("data/f" + std::to_string(f)) + "/";
        for (int i = 0; i < 4096; ++i) {
            write_file(sub + std::to_string(i) + ".txt", "file " + std::to_string(i));
        }
    }
    TZipArchiver zip{"Zip"};
    // Stored, so that the archive itself passes 4 GiB and every entry after the first lies beyond.
    const Packed packed = pack(zip, folder, {.level = TZipCompressionLevel::clNone});
    std::filesystem::remove_all(folder / "data");
    ASSERT_EQ(packed.entries.size(), total);
    const PeerEntry &first = packed.entries[0], &second = packed.entries[1];
    EXPECT_EQ(first.extra, le_bytes(0x00100001, 4) + le_bytes(big, 8) + le_bytes(big, 8));
    EXPECT_GT(second.header_offset, 0xFFFFFFFFu);
    EXPECT_EQ(std::tuple(second.extract_version, second.extra),
              std::tuple(45, le_bytes(0x00080001, 4) + le_bytes(second.header_offset, 8)))
        << "an entry whose header lies past 4 GiB is a Zip64 entry";
    const std::string tail = bytes_at(packed.path, std::filesystem::file_size(packed.path) - 200, 200);
    const uint64_t end = end_record_offset(tail), locator = end - 20, record = end - 76;
    EXPECT_EQ(std::tuple(le(tail, end + 8, 4), le(tail, end + 16, 4)), std::tuple(~0u, ~0u))
        << "the counts and the directory offset are in the Zip64 end record";
    EXPECT_EQ(std::tuple(le(tail, locator, 4), le(tail, locator + 16, 4), le(tail, record, 4),
                         le(tail, record + 24, 8), le(tail, record + 32, 8)),
              std::tuple(0x07064b50u, 1u, 0x06064b50u, total, total))
        << "the locator (one disk) and the Zip64 end record with the entries on this disk and in all";
    EXPECT_GT(le(tail, record + 48, 8), 0xFFFFFFFFu) << "the directory's offset";
}

}  // namespace
}  // namespace ferrolo::zip::testing
