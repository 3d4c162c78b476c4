// Archives written by the engine: the bytes of each header, the names, the selection of files, and
// what happens when a source file fails. Every archive written here is also checked by the peers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

#include "archive/zip_archiver.h"
#include "tests/archive/zip_test_support.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::testing {
namespace {

using ::ferrolo::testing::read_file;
using ::ferrolo::testing::TempFolder;

std::vector<std::string> names_of(const std::vector<PeerEntry>& entries) {
    std::vector<std::string> names;
    for (const PeerEntry& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

std::string raw_deflate(const std::string& data, int level) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, data.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string text_of_size(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + " of the sample text\n";
    }
    text.resize(size);
    return text;
}

TEST(WrittenEntries, EmptyFileIsStoredWithZeroSizesAndZeroCrcInBothHeaders) {
    TempFolder folder;
    folder.write("data/empty.txt", "");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);

    const std::string bytes = read_file(archive);
    const RawLocalHeader local = local_header_at(bytes, 0);
    EXPECT_EQ(local.signature, 0x04034b50u);
    EXPECT_EQ(local.name, "data/empty.txt");
    EXPECT_EQ(local.method, 0) << "an empty file is stored, not deflated";
    EXPECT_EQ(local.crc, 0u);
    EXPECT_EQ(local.compressed_size, 0u);
    EXPECT_EQ(local.uncompressed_size, 0u);
    EXPECT_EQ(local.flags, 0);
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].method, 0);
    EXPECT_EQ(entries[0].crc, 0u);
    EXPECT_EQ(entries[0].compressed_size, 0u);
    EXPECT_EQ(entries[0].size, 0u);
}

TEST(WrittenEntries, EmptyFolderBecomesFolderEntryWithFlagsTwoMethodZeroAndFolderAttributes) {
    TempFolder folder;
    folder.make_folder("data/empty");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);

    const RawLocalHeader local = local_header_at(read_file(archive), 0);
    EXPECT_EQ(local.name, "data/empty/");
    EXPECT_EQ(local.flags, 2);
    EXPECT_EQ(local.method, 0);
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "data/empty/");
    EXPECT_EQ(entries[0].flags, 2);
    EXPECT_EQ(entries[0].method, 0);
    EXPECT_EQ(entries[0].external_attributes, 0x10u) << "a folder's derived attributes";
    EXPECT_EQ(entries[0].create_version, 20);
    EXPECT_EQ(entries[0].extract_version, 20);
}

TEST(WrittenEntries, FileIsRawDeflateAtLevelNineAndBothHeadersAgreeAfterTheRewrite) {
    TempFolder folder;
    const std::string content = text_of_size(3'000'000);  // two blocks at level 9
    folder.write("data/text.txt", content);
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);

    const std::string bytes = read_file(archive);
    const RawLocalHeader local = local_header_at(bytes, 0);
    const std::string expected_data = raw_deflate(content, 9);
    const uint32_t expected_crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    EXPECT_EQ(local.method, 8);
    EXPECT_EQ(local.version_needed, 20);
    EXPECT_EQ(local.crc, expected_crc) << "the local header is rewritten with the final CRC";
    EXPECT_EQ(local.uncompressed_size, content.size());
    EXPECT_EQ(local.compressed_size, expected_data.size());
    EXPECT_TRUE(local.extra.empty());
    EXPECT_EQ(bytes.substr(30 + local.name.size(), expected_data.size()), expected_data)
        << "the data is zlib's raw deflate at level 9, memory level 8, default strategy";
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].crc, expected_crc);
    EXPECT_EQ(entries[0].compressed_size, expected_data.size());
    EXPECT_EQ(entries[0].flags, 0);
    EXPECT_EQ(entries[0].create_version, 20);
    EXPECT_EQ(entries[0].create_system, 0);
    EXPECT_EQ(entries[0].external_attributes, 0x20u);
    EXPECT_EQ(entries[0].header_offset, 0u);
}

TEST(WrittenEntries, NameWithAccentIsStoredInCodePage850WithVersionTwenty) {
    TempFolder folder;
    folder.write("data/città.txt", "accento");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);

    const RawLocalHeader local = local_header_at(read_file(archive), 0);
    EXPECT_EQ(local.name, "data/citt\x85.txt") << "à is 0x85 in code page 850";
    EXPECT_EQ(local.version_needed, 20);
    EXPECT_EQ(local.flags & 0x800, 0);
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "data/citt\x85.txt");
    EXPECT_EQ(entries[0].flags & 0x800, 0);
    EXPECT_EQ(entries[0].create_version, 20);
    EXPECT_EQ(entries[0].extract_version, 20);
}

TEST(WrittenEntries, NameOutsideCodePage850IsStoredAsUtf8WithBitEleven) {
    TempFolder folder;
    folder.write("data/日本.txt", "kanji");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);

    const RawLocalHeader local = local_header_at(read_file(archive), 0);
    EXPECT_EQ(local.name, "data/日本.txt");
    EXPECT_EQ(local.flags, 0x800);
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "data/日本.txt");
    EXPECT_EQ(entries[0].flags, 0x800);
}

TEST(WrittenEntries, NameThatIsNotUtf8IsStoredAsItsBytesWithoutBitEleven) {
    TempFolder folder;
    folder.write("data/raw\xff\xfe.txt", "bytes");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "data/raw\xff\xfe.txt");
    EXPECT_EQ(entries[0].flags, 0);
}

TEST(WrittenEntries, WithoutOemNamesVersionFieldsRead2836AndNamesStayUtf8) {
    TempFolder folder;
    folder.write("data/città.txt", "x");
    TZipArchiver zip{"Zip"};
    zip.Options.OEMFileNames = false;
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    const RawLocalHeader local = local_header_at(read_file(archive), 0);
    EXPECT_EQ(local.version_needed, 2836);
    EXPECT_EQ(local.name, "data/città.txt");
    EXPECT_EQ(local.flags, 0x800);
}

TEST(WrittenEntries, DosTimeAndAttributesComeFromTheSourceFile) {
    TempFolder folder;
    const std::string path = folder.write("data/.dated", "x");
    std::tm local_time{};
    local_time.tm_year = 2021 - 1900;
    local_time.tm_mon = 2;
    local_time.tm_mday = 4;
    local_time.tm_hour = 5;
    local_time.tm_min = 6;
    local_time.tm_sec = 9;
    local_time.tm_isdst = -1;
    const timespec times[2] = {{std::mktime(&local_time), 0}, {std::mktime(&local_time), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);

    const std::string bytes = read_file(archive);
    EXPECT_EQ(u16_at(bytes, 10), (5 << 11) | (6 << 5) | (9 / 2)) << "DOS time, seconds halved";
    EXPECT_EQ(u16_at(bytes, 12), ((2021 - 1980) << 9) | (3 << 5) | 4) << "DOS date";
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].external_attributes, 0x23u)
        << "archive, read-only and hidden (name starts with a dot)";
}

TEST(WrittenEntries, TimesOutsideTheDosRangeAreHeldAtItsEnds) {
    TempFolder folder;
    const std::string old_file = folder.write("data/1970.txt", "old");
    const std::string future_file = folder.write("data/2200.txt", "future");
    const timespec old_times[2] = {{0, 0}, {0, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, old_file.c_str(), old_times, 0), 0);
    const timespec future_times[2] = {{7'258'118'400, 0}, {7'258'118'400, 0}};  // 2200-01-01
    ASSERT_EQ(::utimensat(AT_FDCWD, future_file.c_str(), future_times, 0), 0);
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    const std::string bytes = read_file(archive);
    const uint64_t second = python_entries(archive)[1].header_offset;
    EXPECT_EQ(u16_at(bytes, 10), 0) << "1980-01-01 00:00:00";
    EXPECT_EQ(u16_at(bytes, 12), (0 << 9) | (1 << 5) | 1);
    EXPECT_EQ(u16_at(bytes, second + 10), (23 << 11) | (59 << 5) | 29) << "2107-12-31 23:59:58";
    EXPECT_EQ(u16_at(bytes, second + 12), (127 << 9) | (12 << 5) | 31);
}

TEST(WrittenEntries, FilesBeforeSubFoldersAndEachFolderEntryBeforeItsContents) {
    TempFolder folder;
    folder.write("data/b.txt", "b");
    folder.write("data/a.txt", "a");
    folder.write("data/docs/z.txt", "z");
    folder.write("data/docs/inner/y.txt", "y");
    folder.make_folder("data/empty");
    folder.write("data/noext", "no dot");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(
        names_of(python_entries(archive)),
        (std::vector<std::string>{"data/a.txt", "data/b.txt", "data/noext", "data/docs/", "data/docs/z.txt",
                                  "data/docs/inner/", "data/docs/inner/y.txt", "data/empty/"}))
        << "\"*.*\" also selects names without a dot, as a directory search does";
}

TEST(WrittenEntries, MaskFilePartSelectsFilesInEveryFolderButOnlyMatchingFolderEntries) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/a.doc", "a");
    folder.write("data/sub/b.txt", "b");
    folder.write("data/sub/b.doc", "b");
    folder.write("data/notes.txt/c.txt", "folder named like a file");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.txt");
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)),
              (std::vector<std::string>{"data/a.txt", "data/notes.txt/", "data/notes.txt/c.txt",
                                        "data/sub/b.txt"}));
}

TEST(WrittenEntries, WithoutRecurseOnlyFoldersMatchingTheMaskAreSearched) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/sub/b.txt", "b");
    folder.write("data/keep.txt/c.txt", "c");
    TZipArchiver zip{"Zip"};
    zip.Options.Recurse = false;
    const std::string archive = pack(zip, folder, "data/*.txt");
    EXPECT_EQ(names_of(python_entries(archive)),
              (std::vector<std::string>{"data/a.txt", "data/keep.txt/", "data/keep.txt/c.txt"}));
}

TEST(WrittenEntries, MaskWithoutWildcardsQueuesThatOneFile) {
    TempFolder folder;
    folder.write("data/one.txt", "1");
    folder.write("data/two.txt", "2");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/one.txt");
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/one.txt"}));
}

TEST(WrittenEntries, AttributeMaskSelectsOnlyFilesSharingABit) {
    TempFolder folder;
    folder.write("data/plain.txt", "p");
    const std::string locked = folder.write("data/locked.txt", "l");
    ::chmod(locked.c_str(), 0444);
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.AddMask("data/*.*", 0x01, "");  // read-only only, and no folder entries
    zip.Close();
    EXPECT_EQ(names_of(python_entries(zip.FileName)), (std::vector<std::string>{"data/locked.txt"}));
}

TEST(WrittenEntries, ArchiveInsideTheSelectedFolderIsNotAdded) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/OUT.ZIP.txt", "not the archive");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*", "data/out.zip");
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)),
              (std::vector<std::string>{"data/OUT.ZIP.txt", "data/a.txt"}));
}

TEST(WrittenEntries, ExclusionMasksLeaveOutFilesAndWholeFoldersWithoutRegardToCase) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/b.TMP", "b");
    folder.write("data/cache/c.txt", "c");
    folder.write("data/cached.txt", "d");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.ExclusionMasks = {"*/CACHE"};
    zip.Open(kCreateArchive);
    zip.AddMask("data/*.*", kDefaultSearchAttr, "*.tmp");
    zip.Close();
    expect_peers_accept(zip.FileName);
    EXPECT_EQ(names_of(python_entries(zip.FileName)),
              (std::vector<std::string>{"data/a.txt", "data/cached.txt"}));
}

TEST(WrittenEntries, SocketsFifosAndLinksToFoldersAreSkippedWithoutHanging) {
    TempFolder folder;
    folder.write("data/real.txt", "real");
    ASSERT_EQ(::mkfifo((folder / "data/pipe").c_str(), 0644), 0);
    ASSERT_EQ(::symlink((folder / "data").c_str(), (folder / "data/loop").c_str()), 0);
    ASSERT_EQ(::symlink("real.txt", (folder / "data/link.txt").c_str()), 0);
    const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socket_path = folder / "data/sock";
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    socket_path.copy(address.sun_path, socket_path.size());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    TZipArchiver zip{"Zip"};
    const std::string archive = pack(zip, folder, "data/*.*");
    ::close(server);
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/link.txt", "data/real.txt"}))
        << "a link to a file is followed; the FIFO, the socket and the link to a folder are not taken";
}

TEST(StoredNames, EachStorePathModeGivesItsName) {
    TempFolder folder;
    const std::string file = folder.write("data/docs/a.txt", "a");
    const std::string absolute_folder = folder.path().substr(1);  // what the full path keeps
    const auto name_in = [&](TZipStorePathMode mode, const std::string& mask) {
        TZipArchiver zip{"Zip"};
        set_up_like_backup(zip, folder, "out.zip");
        zip.Options.StorePath = mode;
        zip.Open(kCreateArchive);
        zip.AddMask(mask, kDefaultSearchAttr, "");
        zip.Close();
        const auto entries = python_entries(zip.FileName);
        return entries.size() == 1 ? entries[0].name
                                   : std::string("(") + std::to_string(entries.size()) + " entries)";
    };
    EXPECT_EQ(name_in(TZipStorePathMode::spNoPath, "data/docs/*.txt"), "a.txt");
    EXPECT_EQ(name_in(TZipStorePathMode::spRelativePath, "data/docs/*.txt"), "data/docs/a.txt");
    EXPECT_EQ(name_in(TZipStorePathMode::spFullPath, file), absolute_folder + "data/docs/a.txt");
    EXPECT_EQ(name_in(TZipStorePathMode::spFullPathWithDrive, file), absolute_folder + "data/docs/a.txt")
        << "POSIX has no drive part: never a leading \"/\"";
    EXPECT_EQ(name_in(TZipStorePathMode::spFullPath, "data/./x/../docs//*.txt"),
              absolute_folder + "data/docs/a.txt")
        << "\".\" and \"..\" are resolved before the name is taken";
}

TEST(StoredNames, RelativeModeKeepsTheFullPathOutsideTheBaseFolder) {
    TempFolder folder;
    TempFolder elsewhere;
    const std::string file = elsewhere.write("b.txt", "b");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.AddMask(file, kDefaultSearchAttr, "");
    zip.Close();
    const auto entries = python_entries(zip.FileName);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, file.substr(1)) << "never a name climbing out with \"../\"";
}

TEST(StoredNames, OnStoreFileSeesEachQueuedNameAndMayChangeNameAttributesAndComment) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    std::vector<std::pair<std::string, std::string>> seen;
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t& file_attr, std::string& comment,
                          const std::string& original) {
        seen.emplace_back(file_name, original);
        if (file_name == "data/a.txt") {
            file_name = "renamed/a.txt";
            file_attr = 0x21;
            comment = "note";
        }
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"data/a.txt", folder / "data/a.txt"},
                                                                      {"data/sub/", folder / "data/sub"}}));
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "renamed/a.txt");
    EXPECT_EQ(entries[0].external_attributes, 0x21u);
}

// The file is deleted after it was selected, as a file removed by another program would be.
TEST(SourceFailures, VanishedFileIsReportedWith33And12AndTheArchiveIsWrittenWithoutIt) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string gone = folder.write("data/b.txt", "b");
    folder.write("data/c.txt", "c");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                          const std::string&) {
        if (file_name == "data/b.txt") {
            std::filesystem::remove(gone);
        }
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/a.txt", "data/c.txt"}));
    const auto failures = recorder.failures();
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].name, gone);
    EXPECT_EQ(failures[0].operation, TZipProcessOperation::poAdd);
    EXPECT_EQ(failures[0].native_error, 33);
    EXPECT_EQ(failures[0].error_code, 12);
    EXPECT_EQ(failures[0].message, "Zip: Cannot open file \"" + gone + "\" - Native error: 00033");
    EXPECT_TRUE(test_archive(archive).empty());
}

TEST(SourceFailures, FifoPutInAFilesPlaceIsReportedAndNeverWaitedOn) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string swapped = folder.write("data/b.txt", "b");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                          const std::string&) {
        if (file_name == "data/b.txt") {
            std::filesystem::remove(swapped);
            ASSERT_EQ(::mkfifo(swapped.c_str(), 0644), 0);
        }
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/a.txt"}));
    ASSERT_EQ(recorder.failures().size(), 1u);
    EXPECT_EQ(recorder.failures()[0].native_error, 33);
}

TEST(SourceFailures, RetryProcessesTheFileAgainFromItsStart) {
    TempFolder folder;
    const std::string late = folder / "data/late.txt";
    folder.write("data/a.txt", "a");
    folder.write("data/late.txt", "soon");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    recorder.failure_answer = TZipAction::zaRetry;
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                          const std::string&) {
        if (file_name == "data/late.txt") {
            std::filesystem::remove(late);
        }
    };
    const auto failure_handler = zip.OnProcessFileFailure;
    zip.OnProcessFileFailure = [&](TZipArchiver& sender, const std::string& name,
                                   TZipProcessOperation operation, int native_error, int error_code,
                                   const std::string& message, TZipAction& action) {
        failure_handler(sender, name, operation, native_error, error_code, message, action);
        ::ferrolo::testing::write_file(late, "here now");  // the file is back for the retry
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(recorder.failures().size(), 1u);
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "data/late.txt");
    EXPECT_EQ(entries[1].size, 8u);
    int starts = 0;
    for (const Event& event : recorder.of_kind(Event::Kind::FileProgress)) {
        starts += event.name == late && event.phase == TZipProgressPhase::ppStart;
    }
    EXPECT_EQ(starts, 2) << "the retried file starts again";
}

TEST(SourceFailures, FileThatGrowsOrShrinksWhileReadIsReported34WithBothSizes) {
    for (const bool grows : {true, false}) {
        SCOPED_TRACE(grows ? "grows" : "shrinks");
        TempFolder folder;
        const std::string path = folder.write("data/log.txt", text_of_size(2'000'000));
        folder.write("data/z.txt", "z");
        TZipArchiver zip{"Zip"};
        EventRecorder recorder(zip);
        bool changed = false;
        recorder.cancel_when = [&](const Event& event) {
            if (!changed && event.kind == Event::Kind::FileProgress &&
                event.phase == TZipProgressPhase::ppProcess) {
                changed = true;
                if (grows) {
                    std::FILE* out = std::fopen(path.c_str(), "ab");
                    std::fputs("one more line\n", out);
                    std::fclose(out);
                } else {
                    std::filesystem::resize_file(path, 1'800'000);
                }
            }
            return false;
        };
        const std::string archive = pack(zip, folder, "data/*.*");
        expect_peers_accept(archive);
        EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/z.txt"}));
        ASSERT_EQ(recorder.failures().size(), 1u);
        EXPECT_EQ(recorder.failures()[0].native_error, 34);
        EXPECT_EQ(recorder.failures()[0].error_code, 17);
        EXPECT_EQ(recorder.failures()[0].message,
                  std::string("Zip: Invalid compressed size, rfs.size = 2000000, count = ") +
                      (grows ? "2000001" : "1800000") + " - Native error: 00034");
    }
}

// Builds folders below `root` until the path reaches `length` bytes, without ever naming a path longer
// than the system takes.
std::string deep_folder(const std::string& root, size_t length) {
    std::string path = root;
    int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    const std::string name(200, 'd');
    while (path.size() + name.size() + 1 < length) {
        EXPECT_EQ(::mkdirat(folder, name.c_str(), 0755), 0);
        const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = inner;
        path += "/" + name;
    }
    ::close(folder);
    return path;
}

int create_at_depth(const std::string& root, const std::string& relative_from_deep, bool is_folder,
                    size_t depth) {
    int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    const std::string name(200, 'd');
    for (size_t i = 0; i < depth; ++i) {
        const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = inner;
    }
    const int result = is_folder
                           ? ::mkdirat(folder, relative_from_deep.c_str(), 0755)
                           : ::close(::openat(folder, relative_from_deep.c_str(), O_CREAT | O_WRONLY, 0644));
    ::close(folder);
    return result;
}

TEST(SourceFailures, PathTooLongIsError61AndAFolderThatCannotBeListedIsError33NotASilentGap) {
    TempFolder folder;
    const std::string root = folder.make_folder("data");
    folder.write("data/short.txt", "s");
    const struct TreeRemover {
        std::string path;
        ~TreeRemover() { remove_tree(path); }
    } remover{root};
    const std::string deep = deep_folder(root, 4000);
    const size_t depth = (deep.size() - root.size()) / 201;
    const std::string long_name(250, 'f');
    const std::string long_folder(250, 'g');
    ASSERT_GE(deep.size() + 1 + long_name.size(), 4096u) << "longer than the system takes";
    ASSERT_EQ(create_at_depth(root, long_name, false, depth), 0);
    ASSERT_EQ(create_at_depth(root, long_folder, true, depth), 0);

    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    const auto failures = recorder.failures();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].name, deep + "/" + long_folder);
    EXPECT_EQ(failures[0].native_error, 33) << "the folder that cannot be listed";
    EXPECT_EQ(failures[0].error_code, 12);
    EXPECT_EQ(failures[1].name, deep + "/" + long_name);
    EXPECT_EQ(failures[1].native_error, 61);
    EXPECT_EQ(failures[1].error_code, 36);
    EXPECT_EQ(failures[1].message,
              "Zip: File name is too long: \r\n\"" + deep + "/" + long_name + "\" - Native error: 00061");
    const auto entries = python_entries(archive);
    EXPECT_EQ(entries.front().name, "data/short.txt");
}

TEST(SourceFailures, WithoutAFailureHandlerTheFrontEndIsAskedWithTheButtonsNamed) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string gone = folder.write("data/b.txt", "b");
    TZipArchiver zip{"Zip_Ext"};
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                          const std::string&) {
        if (file_name == "data/b.txt") {
            std::filesystem::remove(gone);
        }
    };
    std::vector<std::pair<std::string, core::MessageButtons>> asked;
    zip.AskUser = [&](std::string_view text, core::MessageButtons buttons) {
        asked.emplace_back(text, buttons);
        return core::MessageAnswer::Abort;
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].first, "Zip_Ext: Cannot open file \"" + gone +
                                  "\" - Native error: 00033. File processing error, possibly disk is full");
    EXPECT_EQ(asked[0].second, core::MessageButtons::AbortRetryIgnore);
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/a.txt"}))
        << "Abort ends the write with the entries written so far";
}

TEST(SourceFailures, WithNeitherHandlerNorMessageBoxTheFileIsIgnored) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string gone = folder.write("data/b.txt", "b");
    folder.write("data/c.txt", "c");
    TZipArchiver zip{"Zip_Ext"};
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                          const std::string&) {
        if (file_name == "data/b.txt") {
            std::filesystem::remove(gone);
        }
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/a.txt", "data/c.txt"}));
}

TEST(CancelAndAbort, CancelAfterTheFirstEntryLeavesAValidArchiveHoldingIt) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(10'000));
    folder.write("data/b.txt", text_of_size(5'000'000));
    folder.write("data/c.txt", "c");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    bool first_done = false;
    recorder.cancel_when = [&](const Event& event) {
        if (event.kind == Event::Kind::FileProgress && event.phase == TZipProgressPhase::ppEnd) {
            first_done = true;
        }
        return first_done && event.kind == Event::Kind::OverallProgress &&
               event.phase == TZipProgressPhase::ppProcess;
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/a.txt"}));
    EXPECT_TRUE(test_archive(archive).empty());
    EXPECT_LT(read_file(archive).size(), 10'000u) << "the dropped entry's data is cut away";
    const Event& last = recorder.events.back();
    EXPECT_FALSE(last.kind == Event::Kind::OverallProgress && last.phase == TZipProgressPhase::ppEnd)
        << "no overall end notice after a cancelled write";
}

TEST(CancelAndAbort, CancelAtTheStartWritesAnEmptyValidArchive) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    recorder.cancel_when = [](const Event& event) { return event.kind == Event::Kind::OverallProgress; };
    const std::string archive = pack(zip, folder, "data/*.*");
    EXPECT_EQ(read_file(archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_EQ(recorder.events.size(), 2u) << "the selection's notice and the overall start only";
    EXPECT_TRUE(python_entries(archive).empty());
}

TEST(CancelAndAbort, AbortFromTheFailureHandlerLeavesAValidArchiveOfTheEntriesWrittenSoFar) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string gone = folder.write("data/b.txt", "b");
    folder.write("data/c.txt", "c");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    recorder.failure_answer = TZipAction::zaAbort;
    zip.OnStoreFile = [&](TZipArchiver&, std::string& file_name, uint32_t&, std::string&,
                          const std::string&) {
        if (file_name == "data/b.txt") {
            std::filesystem::remove(gone);
        }
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    expect_peers_accept(archive);
    EXPECT_EQ(names_of(python_entries(archive)), (std::vector<std::string>{"data/a.txt"}));
    for (const Event& event : recorder.of_kind(Event::Kind::OverallProgress)) {
        EXPECT_NE(event.phase, TZipProgressPhase::ppEnd) << "no overall end notice after an aborted write";
    }
}

TEST(Progress, AddingFiresStartBlocksAndEndWithExactValuesInOrder) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(1000));
    folder.write("data/b.txt", text_of_size(3000));
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    pack(zip, folder, "data/*.*");
    std::vector<std::string> seen;
    for (const Event& event : recorder.events) {
        if (event.kind == Event::Kind::StoreFile) {
            continue;
        }
        EXPECT_EQ(event.operation, TZipProcessOperation::poAdd);
        const char* phase = event.phase == TZipProgressPhase::ppStart     ? "start"
                            : event.phase == TZipProgressPhase::ppProcess ? "process"
                                                                          : "end";
        const std::string who = event.kind == Event::Kind::OverallProgress
                                    ? std::string("overall")
                                    : event.name.substr(event.name.rfind('/') + 1);
        seen.push_back(who + " " + phase + " " + std::to_string(event.progress));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "overall start 0.000000", "a.txt start 0.000000", "a.txt process 100.000000",
                        "overall process 25.000000", "a.txt end 100.000000", "b.txt start 0.000000",
                        "b.txt process 100.000000", "overall process 100.000000", "b.txt end 100.000000",
                        "sub start 0.000000", "sub end 100.000000", "overall end 100.000000"}));
}

TEST(Progress, LargeFileGivesOneNoticePerBlockOfItsMode) {
    TempFolder folder;
    folder.write("data/big.txt", text_of_size(4'000'000));
    for (const auto& [level, notices] :
         std::vector<std::pair<TZipCompressionLevel, int>>{{TZipCompressionLevel::clMax, 3},
                                                           {TZipCompressionLevel::clFastest, 8},
                                                           {TZipCompressionLevel::clNone, 4}}) {
        TZipArchiver zip{"Zip"};
        EventRecorder recorder(zip);
        set_up_like_backup(zip, folder, "out.zip");
        zip.Open(kCreateArchive);
        zip.SetCompressionLevel(level);
        zip.AddMask("data/*.*", kDefaultSearchAttr, "");
        zip.Close();
        int blocks = 0;
        for (const Event& event : recorder.of_kind(Event::Kind::FileProgress)) {
            blocks += event.phase == TZipProgressPhase::ppProcess;
        }
        EXPECT_EQ(blocks, notices) << "mode " << zip.CompressionMode();
        expect_peers_accept(zip.FileName);
    }
}

TEST(Progress, OverallProgressIsFiftyWhenEveryQueuedFileIsEmpty) {
    TempFolder folder;
    folder.write("data/a.txt", "");
    folder.write("data/b.txt", "");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    pack(zip, folder, "data/*.*");
    int process_notices = 0;
    for (const Event& event : recorder.of_kind(Event::Kind::OverallProgress)) {
        if (event.phase == TZipProgressPhase::ppProcess) {
            ++process_notices;
            EXPECT_EQ(event.progress, 50.0);
        }
    }
    EXPECT_EQ(process_notices, 2);
}

TEST(Progress, CancelStaysSetOnceAHandlerSetsIt) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("data/b.txt", "b");
    TZipArchiver zip{"Zip"};
    std::vector<bool> cancel_seen;
    zip.OnFileProgress = [&](TZipArchiver&, const std::string&, double, TZipProcessOperation,
                             TZipProgressPhase phase, bool& cancel) {
        cancel_seen.push_back(cancel);
        if (phase == TZipProgressPhase::ppProcess) {
            cancel = true;
        }
    };
    zip.OnOverallProgress = [&](TZipArchiver&, double, TZipProcessOperation, TZipProgressPhase,
                                bool& cancel) {
        cancel_seen.push_back(cancel);
        cancel = false;  // too late: the flag stays set
    };
    const std::string archive = pack(zip, folder, "data/*.*");
    EXPECT_EQ(cancel_seen, (std::vector<bool>{false, false, false, true}));
    EXPECT_TRUE(python_entries(archive).empty());
}

TEST(Updates, CallsOutOfPlaceRaiseTheirErrors) {
    TempFolder folder;
    TZipArchiver zip{"Zip"};
    const auto code_of = [](const std::function<void()>& call) {
        try {
            call();
        } catch (const EZipError& error) {
            return error.NativeError();
        }
        return 0;
    };
    zip.FileName = folder.path();
    EXPECT_EQ(code_of([&] { zip.Open(kCreateArchive); }), 10) << "a name with no file part";
    zip.FileName = folder / "missing.zip";
    EXPECT_EQ(code_of([&] { zip.Open(kOpenForReading); }), 12);
    EXPECT_EQ(code_of([&] { zip.AddMask("*.*", kDefaultSearchAttr, ""); }), 13);
    EXPECT_EQ(code_of([&] { zip.TestMask("*.*", kDefaultSearchAttr, ""); }), 13);
    zip.FileName = folder / "no-such-folder/out.zip";
    EXPECT_EQ(code_of([&] { zip.Open(kCreateArchive); }), 33);

    zip.FileName = folder / "out.zip";
    zip.Open(kCreateArchive);
    EXPECT_THROW(zip.SetSpanningMode(TZipSpanningMode::smSplitting), std::runtime_error);
    try {
        zip.SetSpanningMode(TZipSpanningMode::smSplitting);
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Cannot set spanning mode on open archive");
        EXPECT_EQ(dynamic_cast<const EZipError*>(&error), nullptr) << "a plain exception";
    }
    zip.BeginUpdate();
    EXPECT_EQ(code_of([&] { zip.TestMask("*.*", kDefaultSearchAttr, ""); }), 26);
    zip.EndUpdate();
    zip.Close();

    zip.Open(kOpenForReading);
    EXPECT_EQ(code_of([&] { zip.BeginUpdate(); }), 32);
    zip.Close();
    zip.Close();  // harmless when nothing is open
}

TEST(Updates, OpenForCreatingReplacesAnExistingFileAtOnce) {
    TempFolder folder;
    const std::string archive = folder.write("out.zip", std::string(100'000, 'x'));
    TZipArchiver zip{"Zip"};
    zip.FileName = archive;
    zip.Open(kCreateArchive);
    EXPECT_EQ(std::filesystem::file_size(archive), 0u);
    zip.Close();
    EXPECT_EQ(read_file(archive), std::string("PK\x05\x06", 4) + std::string(18, '\0'))
        << "an archive with no entries is the end record alone";
}

TEST(Updates, NestedUpdatesWriteOnlyWhenTheOutermostEnds) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("more/b.txt", "b");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.BeginUpdate();
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    zip.AddMask("more/*.*", kDefaultSearchAttr, "");
    EXPECT_EQ(std::filesystem::file_size(zip.FileName), 0u);
    zip.EndUpdate();
    zip.Close();
    expect_peers_accept(zip.FileName);
    EXPECT_EQ(names_of(python_entries(zip.FileName)), (std::vector<std::string>{"data/a.txt", "more/b.txt"}));
}

TEST(Updates, ASecondUpdateAndAnUpdateOfAClosedArchiveAddToWhatIsThere) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("more/b.txt", "b");
    folder.write("last/c.txt", "c");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    zip.AddMask("more/*.*", kDefaultSearchAttr, "");
    zip.Close();
    expect_peers_accept(zip.FileName);

    TZipArchiver later{"Zip"};
    set_up_like_backup(later, folder, "out.zip");
    later.BeginUpdate();  // opens the existing archive itself
    later.AddMask("last/*.*", kDefaultSearchAttr, "");
    later.EndUpdate();
    later.Close();
    expect_peers_accept(zip.FileName);
    EXPECT_EQ(names_of(python_entries(zip.FileName)),
              (std::vector<std::string>{"data/a.txt", "more/b.txt", "last/c.txt"}));
}

TEST(Updates, Zip64AlwaysWritesZip64ExtrasAndEndRecordsThatPeersRead) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(5000));
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.Zip64Mode = TZip64Mode::zmAlways;
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    zip.Close();
    expect_peers_accept(zip.FileName);
    const std::string bytes = read_file(zip.FileName);
    const RawLocalHeader local = local_header_at(bytes, 0);
    EXPECT_EQ(local.version_needed, 45);
    EXPECT_EQ(local.compressed_size, 0xFFFFFFFFu);
    EXPECT_EQ(local.uncompressed_size, 0xFFFFFFFFu);
    ASSERT_EQ(local.extra.size(), 20u);
    EXPECT_EQ(u16_at(local.extra, 0), 1);
    EXPECT_EQ(u64_at(local.extra, 4), 5000u);
    const uint64_t end = end_record_offset(bytes);
    EXPECT_EQ(u32_at(bytes, end - 20), 0x07064b50u) << "the Zip64 locator right before the end record";
    EXPECT_EQ(u32_at(bytes, end - 76), 0x06064b50u);
    const auto entries = python_entries(zip.FileName);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].extract_version, 45);
    EXPECT_EQ(entries[0].size, 5000u);
    EXPECT_TRUE(test_archive(zip.FileName).empty());
}

}  // namespace
}  // namespace ferrolo::archive::testing
