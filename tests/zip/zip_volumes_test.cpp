// Archives split into volumes: sizes and names, where headers land, the full drive, and reading a set back
// by the engine and by peers.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "tests/support/small_drive.h"
#include "tests/zip/zip_test_support.h"

namespace ferrolo::zip::testing {
namespace {

// "name:size" for each file in `folder`, sorted by name.
Names listing(const std::string& folder) {
    Names files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.push_back(entry.path().filename().string() + ":" + std::to_string(entry.file_size()));
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The set `archive` (in the folder unless a full path), of stored entries, in volumes of `size` bytes (at
// least 65,536; -1: as the drive holds).
PackOptions split(int64_t size, bool advanced_naming = false, const std::string& archive = "bk/lun.zip") {
    return {.archive = archive,
            .level = TZipCompressionLevel::clNone,
            .volume_size = size,
            .advanced_naming = advanced_naming};
}

TEST(SplitVolumes, VolumesHaveExactSizesAndNamesInEitherSchemeAndTheEndRecordIsNeverCut) {
    // 200,000 stored bytes: a 42-byte local header, the data, a 58-byte central header, the 22-byte end
    // record. Its fields: this volume, the directory's volume, the directory's entries in this one, its
    // offset there.
    const std::vector<std::tuple<const char*, bool, int64_t, std::string, std::string>> cases = {
        {"classic names; 1,000 bytes raised to 65,536", false, 1000,
         "lun.z01:65536 lun.z02:65536 lun.z03:65536 lun.zip:3514", "3 3 1 3434"},
        {"advanced names", true, 1000, "lun.zip:3514 lun_001.zip:65536 lun_002.zip:65536 lun_003.zip:65536",
         "3 3 1 3434"},
        {"an end record that would be cut 10 bytes in starts the last volume whole", false, 100'055,
         "lun.z01:100055 lun.z02:100045 lun.zip:22", "2 1 0 99987"},
        {"a result that fits in one volume leaves only FileName", false, 2'000'000, "lun.zip:200122",
         "0 0 1 200042"},
        {"so with advanced names", true, 2'000'000, "lun.zip:200122", "0 0 1 200042"},
    };
    // The floor holds for any size asked and for one never set; auto-detection sets no limit.
    TZipSpanningOptions options;
    std::string kept = std::to_string(volume_size_in_bytes(TZipVolumeSize::vsCustom, 0)) + " " +
                       std::to_string(volume_size_in_bytes(TZipVolumeSize::vsAutoDetect, 0));
    for (const int64_t asked : {-5, 65535, 65536}) {
        options.SetCustomVolumeSize(asked);
        kept += " " + std::to_string(options.CustomVolumeSize());
    }
    EXPECT_EQ(kept, "65536 0 65536 65536 65536");
    for (const auto& [what, advanced, size, files, end_fields] : cases) {
        SCOPED_TRACE(what);
        TempFolder folder;
        folder.write("data/big.bin", text_of_size(200'000));
        TZipArchiver zip{"Zip"};
        const std::string last = read_file(pack(zip, folder, split(size, advanced)).path);
        EXPECT_EQ(listing(folder / "bk"), words(files));
        const uint64_t end = end_record_offset(last);
        EXPECT_EQ(std::to_string(le(last, end + 4, 2)) + " " + std::to_string(le(last, end + 6, 2)) + " " +
                      std::to_string(le(last, end + 8, 2)) + " " + std::to_string(le(last, end + 16, 4)),
                  end_fields);
    }
}

TEST(SplitVolumes, LocalHeaderNeverStraddlesTwoVolumesNorDoesACentralHeader) {
    TempFolder folder;
    std::mt19937 random(3);
    // Long names and little data, so that headers meet the ends of volumes often.
    for (unsigned i = 0; i < 600; ++i) {
        folder.write("data/" + std::string(150, 'n') + std::to_string(i) + ".bin",
                     text_of_size(50 + random() % 100));
    }
    TZipArchiver zip{"Zip"};
    pack(zip, folder, split(1));
    std::vector<uint64_t> ends, sizes;  // of each volume, in the volumes laid end to end
    std::string stream;
    for (const std::string& volume : volumes_of(zip.FileName)) {
        stream += read_file(volume);
        sizes.push_back(stream.size() - (ends.empty() ? 0 : ends.back()));
        ends.push_back(stream.size());
    }
    ASSERT_GE(sizes.size(), 4u);
    EXPECT_LE(*std::max_element(sizes.begin(), sizes.end()), 65536u);
    EXPECT_TRUE(std::any_of(sizes.begin(), sizes.end() - 1, [](uint64_t size) { return size < 65536; }))
        << "some volume was closed short so that a header could start the next";
    const auto volume_of = [&](uint64_t at) {
        return std::upper_bound(ends.begin(), ends.end(), at) - ends.begin();
    };
    // The data is text and holds no signature: every header is found by its own.
    for (const auto& [signature, fixed, lengths] :
         {std::tuple("PK\x03\x04", 30u, 26u), {"PK\x01\x02", 46u, 28u}}) {
        int headers = 0;
        for (size_t at = stream.find(signature); at != std::string::npos;
             at = stream.find(signature, at + 1)) {
            const uint64_t last = at + fixed - 1 + le(stream, at + lengths, 2) +
                                  le(stream, at + lengths + 2, 2) +
                                  (fixed == 46 ? le(stream, at + 32, 2) : 0);
            EXPECT_EQ(volume_of(at), volume_of(last))
                << signature[2] + 0 << " header " << headers << " straddles";
            ++headers;
        }
        EXPECT_EQ(headers, 600);
    }
}

TEST(SplitVolumes, MissingMiddleVolumeFailsTheEntriesStoredThereWithCode45) {
    TempFolder folder;
    folder.write("data/a.bin", text_of_size(1000));
    folder.write("data/b.bin", text_of_size(150'000));
    folder.write("data/c.bin", text_of_size(1000));
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, split(1)).path;
    ASSERT_EQ(volumes_of(zip.FileName).size(), 3u);
    std::filesystem::remove(folder / "bk/lun.z02");
    const auto failures = test_archive(archive).failures;
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(std::tuple(failures[0].name, failures[0].native_error, failures[0].error_code),
              std::tuple("data/b.bin", 45, 24));
}

TEST(SplitVolumes, CancelWhileSplittingDeletesTheStagingFileAndLeavesAReadableSet) {
    TempFolder folder, staging;
    folder.write("data/a.bin", text_of_size(100'000));
    folder.write("data/b.bin", text_of_size(4'000'000));
    TZipArchiver zip{"Zip"};
    zip.TempDir = staging.path();
    EventRecorder recorder(zip);
    Names staged;
    recorder.react = [&](const Event& event) {
        const bool cancel = event.phase == TZipProgressPhase::ppProcess && event.name.ends_with("b.bin");
        staged = cancel ? listing(staging.path()) : staged;
        return cancel;
    };
    const std::string archive = pack(zip, folder, split(1)).path;
    ASSERT_EQ(staged.size(), 1u);
    EXPECT_TRUE(staged[0].starts_with("FC")) << "the entry is staged in a temporary file named FC…";
    EXPECT_EQ(listing(staging.path()), Names{}) << "and the file is gone after the cancel";
    EXPECT_EQ(file_names(test_archive(archive).events), Names{"data/a.bin"});
}

TEST(FullDrive, OnDiskFullNamesTheVolumeAtMostOnceASecondThenTheWriteGoesOnOnceThereIsRoomOrFails45OnCancel) {
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancel" : "room made");
        TempFolder folder, staging;
        const ::ferrolo::testing::SmallDrive drive("2m");
        if (!drive.mounted()) {
            GTEST_SKIP() << "mounting a tmpfs needs root";
        }
        const std::string ballast = drive.path() + "ballast";
        write_file(ballast, std::string(1'200'000, 'b'));
        folder.write("data/big.bin", text_of_size(1'500'000));
        TZipArchiver zip{"Zip"};
        zip.TempDir = staging.path();
        EventRecorder recorder(zip);
        std::vector<std::pair<Event, std::chrono::steady_clock::time_point>> full;
        recorder.react = [&](const Event& event) {
            if (event.kind == Event::Kind::DiskFull) {
                full.emplace_back(event, std::chrono::steady_clock::now());
                if (full.size() == 2) {
                    std::filesystem::remove(ballast);  // the user makes room
                }
            }
            return cancel && event.kind == Event::Kind::DiskFull;
        };
        try {
            pack(zip, folder, split(-1, false, drive.path() + "lun.zip"));
            EXPECT_EQ(volumes_of(zip.FileName).size(), cancel ? 0u : 2u) << "the write ended as if complete";
        } catch (const EZipError& error) {
            EXPECT_TRUE(cancel && error.NativeError() == 45) << error.what();
        }
        ASSERT_TRUE(cancel ? !full.empty() : full.size() == 2) << full.size();
        EXPECT_EQ(std::tuple(full[0].first.native_error, full[0].first.name),
                  std::tuple(2, drive.path() + "lun.z02"))
            << "the volume's number, from 1, and name";
        EXPECT_TRUE(cancel || full[1].second - full[0].second >= std::chrono::milliseconds(990))
            << "the drive is asked at most once a second";
        EXPECT_EQ(listing(staging.path()), Names{});
        EXPECT_EQ(recorder.failures.empty() ? 0 : recorder.failures[0].native_error, cancel ? 45 : 0)
            << "the entry not placed";
    }
}

}  // namespace
}  // namespace ferrolo::zip::testing
