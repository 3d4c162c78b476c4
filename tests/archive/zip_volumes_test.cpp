// Archives split into volumes: sizes and names, where headers land, the full drive, and reading a set
// back — by the engine and by peers (7-Zip opens a .zip with its .z01… parts; Info-ZIP joins them).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "archive/zip_archiver.h"
#include "tests/archive/zip_test_support.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::testing {
namespace {

using ::ferrolo::testing::read_file;
using ::ferrolo::testing::run_command;
using ::ferrolo::testing::shell_quote;
using ::ferrolo::testing::TempFolder;

std::string noise(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

struct SplitSettings {
    bool advanced_naming = false;
    TZipVolumeSize volume_size = TZipVolumeSize::vsCustom;
    int64_t custom_size = 1000;  // raised to 65,536
    TZipCompressionLevel level = TZipCompressionLevel::clNone;
};

// Packs folder/data with the run's call order for a split archive; the set goes to folder/bk/lun.zip.
std::string pack_split(TZipArchiver& zip, const TempFolder& folder, const SplitSettings& settings) {
    folder.make_folder("bk");
    zip.FileName = folder / "bk/lun.zip";
    zip.BaseDir = folder.path();
    zip.SpanningOptions.AdvancedNaming = settings.advanced_naming;
    zip.SetSpanningMode(TZipSpanningMode::smSplitting);
    zip.SpanningOptions.VolumeSize = settings.volume_size;
    zip.SpanningOptions.SetCustomVolumeSize(settings.custom_size);
    zip.Open(kCreateArchive);
    zip.Zip64Mode = TZip64Mode::zmAuto;
    zip.SetCompressionLevel(settings.level);
    zip.BeginUpdate();
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    zip.EndUpdate();
    zip.Close();
    return zip.FileName;
}

// Names and sizes of the files in `folder`, sorted by name.
std::vector<std::pair<std::string, uint64_t>> listing(const std::string& folder) {
    std::vector<std::pair<std::string, uint64_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files.emplace_back(entry.path().filename().string(), entry.file_size());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The volumes in order, the last under the archive's name.
std::vector<std::string> volumes_of(const std::string& archive, bool advanced_naming) {
    std::vector<std::string> volumes;
    const std::string folder = archive.substr(0, archive.rfind('/') + 1);
    for (int n = 1;; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, advanced_naming ? "lun_%03d.zip" : "lun.Z%02d", n);
        if (!std::filesystem::exists(folder + name)) {
            break;
        }
        volumes.push_back(folder + name);
    }
    volumes.push_back(archive);
    return volumes;
}

// Lets 7-Zip read the set under the names it knows (lun.z01…, then lun.zip), and has libarchive's
// streaming reader check every entry's CRC-32 across the cuts in the volumes laid end to end.
// (Info-ZIP's "zip -s 0" would be the obvious joiner, but the zip 3.0 installed here drops the data in
// the last volume even of sets it split itself.)
void expect_peers_read_the_set(const std::vector<std::string>& volumes) {
    TempFolder peer;
    std::string concatenation = "cat";
    for (size_t i = 0; i + 1 < volumes.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "lun.z%02zu", i + 1);
        ASSERT_EQ(::symlink(volumes[i].c_str(), (peer / name).c_str()), 0);
        concatenation += " " + shell_quote(volumes[i]);
    }
    ASSERT_EQ(::symlink(volumes.back().c_str(), (peer / "lun.zip").c_str()), 0);
    concatenation += " " + shell_quote(volumes.back());
    const auto seven_zip = run_command("7z t -bd " + shell_quote(peer / "lun.zip"));
    EXPECT_EQ(seven_zip.exit_status, 0) << seven_zip.output;
    EXPECT_NE(seven_zip.output.find("Everything is Ok"), std::string::npos) << seven_zip.output;
    if (volumes.size() > 1) {
        EXPECT_NE(seven_zip.output.find("Volumes = " + std::to_string(volumes.size())), std::string::npos)
            << seven_zip.output;
    }
    const auto streamed = run_command(concatenation + " | bsdtar -xOf - > /dev/null");
    EXPECT_EQ(streamed.exit_status, 0) << streamed.output;
}

TEST(SplitVolumes, VolumesHaveExactSizesAndTheNamesOfEitherScheme) {
    for (const bool advanced : {false, true}) {
        SCOPED_TRACE(advanced ? "advanced naming" : "classic naming");
        TempFolder folder;
        folder.write("data/big.bin", noise(200'000, 1));
        TZipArchiver zip{"Zip"};
        const std::string archive = pack_split(zip, folder, {.advanced_naming = advanced});
        // 42-byte local header, 200,000 bytes of data, a 58-byte central header, the 22-byte end record.
        EXPECT_EQ(listing(folder / "bk"),
                  advanced
                      ? (std::vector<std::pair<std::string, uint64_t>>{{"lun.zip", 3514},
                                                                       {"lun_001.zip", 65536},
                                                                       {"lun_002.zip", 65536},
                                                                       {"lun_003.zip", 65536}})
                      : (std::vector<std::pair<std::string, uint64_t>>{
                            {"lun.Z01", 65536}, {"lun.Z02", 65536}, {"lun.Z03", 65536}, {"lun.zip", 3514}}));
        const std::string last = read_file(archive);
        const uint64_t end = end_record_offset(last);
        EXPECT_EQ(u16_at(last, end + 4), 3) << "this disk: the last volume, counted from 0";
        EXPECT_EQ(u16_at(last, end + 6), 3) << "the directory starts in the last volume";
        EXPECT_EQ(u16_at(last, end + 8), 1);
        EXPECT_EQ(u32_at(last, end + 16), 200'042u - 3 * 65536u) << "directory offset within its volume";
        EXPECT_TRUE(test_archive(archive).empty()) << "a tester preferring advanced names finds lun.Z01 too";
        expect_peers_read_the_set(volumes_of(archive, advanced));
    }
}

TEST(SplitVolumes, EndRecordThatWouldBeCutStartsTheLastVolumeWhole) {
    TempFolder folder;
    folder.write("data/big.bin", noise(200'000, 1));
    TZipArchiver zip{"Zip"};
    // The second volume would end 10 bytes into the 22-byte end record, which lies at 200,100.
    const std::string archive = pack_split(zip, folder, {.custom_size = 100'055});
    EXPECT_EQ(listing(folder / "bk"), (std::vector<std::pair<std::string, uint64_t>>{
                                          {"lun.Z01", 100'055}, {"lun.Z02", 100'045}, {"lun.zip", 22}}));
    const std::string last = read_file(archive);
    EXPECT_EQ(u16_at(last, 4), 2) << "this disk";
    EXPECT_EQ(u16_at(last, 6), 1) << "the directory starts in the second volume";
    EXPECT_EQ(u16_at(last, 8), 0) << "no central header in the last volume";
    EXPECT_EQ(u16_at(last, 10), 1);
    EXPECT_TRUE(test_archive(archive).empty());
    expect_peers_read_the_set(volumes_of(archive, false));
}

TEST(SplitVolumes, CustomSizeInBytesGivesVolumesOfThatSize) {
    TempFolder folder;
    folder.write("data/big.bin", noise(5'000'000, 2));
    TZipArchiver zip{"Zip"};
    const std::string archive = pack_split(zip, folder, {.custom_size = 2'000'000});
    EXPECT_EQ(listing(folder / "bk"),
              (std::vector<std::pair<std::string, uint64_t>>{
                  {"lun.Z01", 2'000'000}, {"lun.Z02", 2'000'000}, {"lun.zip", 1'000'122}}));
    EXPECT_TRUE(test_archive(archive).empty());
}

TEST(SplitVolumes, NoLocalOrCentralHeaderStraddlesTwoVolumes) {
    TempFolder folder;
    std::mt19937 random(3);
    // Long names and little data, so that headers meet the ends of volumes often.
    for (int i = 0; i < 600; ++i) {
        folder.write("data/" + std::string(150, 'n') + std::to_string(i) + ".bin",
                     noise(50 + random() % 100, static_cast<unsigned>(i)));
    }
    TZipArchiver zip{"Zip"};
    const std::string archive = pack_split(zip, folder, {.level = TZipCompressionLevel::clMax});
    const std::vector<std::string> volumes = volumes_of(archive, false);
    ASSERT_GE(volumes.size(), 4u);
    std::vector<std::string> contents;
    std::vector<uint64_t> starts;
    std::string stream;
    for (const std::string& volume : volumes) {
        contents.push_back(read_file(volume));
        starts.push_back(stream.size());
        stream += contents.back();
    }
    int short_volumes = 0;
    for (size_t i = 0; i + 1 < contents.size(); ++i) {
        EXPECT_LE(contents[i].size(), 65536u);
        short_volumes += contents[i].size() < 65536;
    }
    EXPECT_GT(short_volumes, 0) << "some volume was closed short so that a header could start the next";

    const uint64_t end = end_record_offset(contents.back());
    uint64_t record = starts[u16_at(contents.back(), end + 6)] + u32_at(contents.back(), end + 16);
    for (int i = 0; i < u16_at(contents.back(), end + 10); ++i) {
        const uint16_t disk = u16_at(stream, record + 34);
        const uint32_t offset = u32_at(stream, record + 42);
        ASSERT_LT(disk, contents.size());
        const RawLocalHeader local = local_header_at(contents[disk], offset);
        EXPECT_EQ(local.signature, 0x04034b50u) << "entry " << i;
        EXPECT_LE(offset + 30 + local.name.size() + local.extra.size(), contents[disk].size())
            << "entry " << i << " straddles volumes " << disk << " and " << disk + 1;
        const uint64_t record_end = record + 46 + u16_at(stream, record + 28) + u16_at(stream, record + 30) +
                                    u16_at(stream, record + 32);
        const auto volume_of = [&](uint64_t position) {
            return std::upper_bound(starts.begin(), starts.end(), position) - starts.begin() - 1;
        };
        EXPECT_EQ(volume_of(record), volume_of(record_end - 1))
            << "central header " << i << " straddles volumes";
        record = record_end;
    }
    EXPECT_TRUE(test_archive(archive).empty());
    expect_peers_read_the_set(volumes);
}

TEST(SplitVolumes, ResultThatFitsInOneVolumeLeavesOnlyTheArchiveName) {
    for (const bool advanced : {false, true}) {
        TempFolder folder;
        folder.write("data/a.txt", "small");
        TZipArchiver zip{"Zip"};
        const std::string archive = pack_split(zip, folder, {.advanced_naming = advanced});
        EXPECT_EQ(listing(folder / "bk"),
                  (std::vector<std::pair<std::string, uint64_t>>{{"lun.zip", 30 + 10 + 5 + 56 + 22}}));
        expect_peers_accept(archive);
    }
}

TEST(SplitVolumes, MissingMiddleVolumeFailsTheEntriesStoredThereWithCode45) {
    TempFolder folder;
    folder.write("data/a.bin", noise(1000, 4));
    folder.write("data/b.bin", noise(150'000, 5));
    folder.write("data/c.bin", noise(1000, 6));
    TZipArchiver zip{"Zip"};
    const std::string archive = pack_split(zip, folder, {});
    ASSERT_EQ(volumes_of(archive, false).size(), 3u);
    std::filesystem::remove(folder / "bk/lun.Z02");
    const auto failures = test_archive(archive);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].name, "data/b.bin");
    EXPECT_EQ(failures[0].native_error, 45);
    EXPECT_EQ(failures[0].error_code, 24);
}

TEST(SplitVolumes, ASplitArchiveTakesNoSecondUpdate) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    TZipArchiver zip{"Zip"};
    zip.FileName = folder / "lun.zip";
    zip.BaseDir = folder.path();
    zip.SetSpanningMode(TZipSpanningMode::smSplitting);
    zip.Open(kCreateArchive);
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    try {
        zip.AddMask("data/*.*", kDefaultSearchAttr, "");
        ADD_FAILURE() << "second update accepted";
    } catch (const EZipError& error) {
        EXPECT_EQ(error.NativeError(), 62);
        EXPECT_EQ(error.ErrorCode(), 37);
    }
    zip.Close();
    expect_peers_accept(zip.FileName);
}

TEST(SplitVolumes, CancelWhileSplittingDeletesTheStagingFileAndLeavesAReadableSet) {
    TempFolder folder;
    TempFolder staging;
    folder.write("data/a.bin", noise(100'000, 7));
    folder.write("data/b.bin", noise(4'000'000, 8));
    TZipArchiver zip{"Zip"};
    zip.TempDir = staging.path();
    EventRecorder recorder(zip);
    bool staged_seen = false;
    recorder.cancel_when = [&](const Event& event) {
        if (event.kind == Event::Kind::FileProgress && event.phase == TZipProgressPhase::ppProcess &&
            event.name.ends_with("b.bin")) {
            staged_seen =
                !listing(staging.path()).empty() && listing(staging.path())[0].first.starts_with("FC");
            return true;
        }
        return false;
    };
    const std::string archive = pack_split(zip, folder, {.level = TZipCompressionLevel::clMax});
    EXPECT_TRUE(staged_seen) << "the entry is staged in a temporary file named FC…";
    EXPECT_TRUE(listing(staging.path()).empty()) << "and the file is gone after the cancel";
    std::vector<Event> events;
    EXPECT_TRUE(test_archive(archive, &events).empty());
    EXPECT_EQ(events.size(), 6u) << "a.bin alone";
    expect_peers_read_the_set(volumes_of(archive, false));
}

// A small tmpfs, mounted for one test and always unmounted.
class SmallDrive {
public:
    SmallDrive(const std::string& folder, const char* size) : folder_(folder) {
        std::filesystem::create_directories(folder);
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, (std::string("size=") + size).c_str()) == 0;
    }
    ~SmallDrive() {
        if (mounted_) {
            ::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    bool mounted() const { return mounted_; }

private:
    std::string folder_;
    bool mounted_ = false;
};

TEST(FullDrive, OnDiskFullNamesTheVolumeAndTheWriteGoesOnOnceThereIsRoom) {
    TempFolder folder;
    const SmallDrive drive(folder / "bk", "2m");
    if (!drive.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    const std::string ballast = folder.write("bk/ballast", std::string(1'200'000, 'b'));
    folder.write("data/big.bin", noise(1'500'000, 9));
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    std::vector<std::chrono::steady_clock::time_point> asked;
    zip.OnDiskFull = [&](TZipArchiver&, int volume_number, std::string& volume_file_name, bool& cancel) {
        EXPECT_FALSE(cancel);
        recorder.events.push_back(
            {.kind = Event::Kind::DiskFull, .name = volume_file_name, .volume_number = volume_number});
        asked.push_back(std::chrono::steady_clock::now());
        if (asked.size() == 2) {
            std::filesystem::remove(ballast);  // the user makes room
        }
    };
    const std::string archive = pack_split(zip, folder, {.volume_size = TZipVolumeSize::vsAutoDetect});
    const auto full = recorder.of_kind(Event::Kind::DiskFull);
    ASSERT_EQ(full.size(), 2u);
    EXPECT_EQ(full[0].volume_number, 2) << "counted from 1";
    EXPECT_EQ(full[0].name, folder / "bk/lun.Z02");
    EXPECT_GE(asked[1] - asked[0], std::chrono::milliseconds(990))
        << "the drive is asked at most once a second";
    EXPECT_TRUE(recorder.failures().empty());
    const std::vector<std::string> volumes = volumes_of(archive, false);
    ASSERT_EQ(volumes.size(), 2u);
    EXPECT_TRUE(test_archive(archive).empty());
    expect_peers_read_the_set(volumes);
}

TEST(FullDrive, CancelFromOnDiskFullFailsWith45AndLeavesNoStagingFile) {
    TempFolder folder;
    TempFolder staging;
    const SmallDrive drive(folder / "bk", "1m");
    if (!drive.mounted()) {
        GTEST_SKIP() << "mounting a tmpfs needs root";
    }
    folder.write("data/big.bin", noise(1'500'000, 10));
    TZipArchiver zip{"Zip"};
    zip.TempDir = staging.path();
    EventRecorder recorder(zip);
    recorder.cancel_when = [](const Event& event) { return event.kind == Event::Kind::DiskFull; };
    try {
        pack_split(zip, folder, {.volume_size = TZipVolumeSize::vsAutoDetect});
        ADD_FAILURE() << "the write ended as if the set were complete";
    } catch (const EZipError& error) {
        EXPECT_EQ(error.NativeError(), 45) << error.what();
    }
    ASSERT_FALSE(recorder.failures().empty());
    EXPECT_EQ(recorder.failures()[0].native_error, 45) << "the entry that could not be placed";
    EXPECT_EQ(recorder.of_kind(Event::Kind::DiskFull)[0].volume_number, 2);
    EXPECT_TRUE(listing(staging.path()).empty());
}

}  // namespace
}  // namespace ferrolo::archive::testing
