// Archives written by the engine: the bytes of each header, the names, the selection of files, and
// what happens when a source file fails. Every archive written here is also checked by the peers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <zlib.h>

#include <ctime>
#include <filesystem>

#include "archive/zip_archiver.h"
#include "tests/archive/zip_test_support.h"
#include "tests/support/temp_folder.h"

namespace ferrolo::archive::testing {
namespace {

using ::ferrolo::testing::read_file;
using ::ferrolo::testing::TempFolder;
using Names = std::vector<std::string>;

Names names_in(const std::string& archive) {
    Names names;
    for (const PeerEntry& entry : python_entries(archive)) {
        names.push_back(entry.name);
    }
    return names;
}

// Packs `mask` as the run does, has the peers check the archive and returns its path.
std::string pack_checked(TZipArchiver& zip, const TempFolder& folder, const std::string& mask = "data/*.*",
                         const std::string& archive_name = "out.zip") {
    const std::string archive = pack(zip, folder, mask, archive_name);
    expect_peers_accept(archive);
    return archive;
}

// Makes the file with `stored_name` disappear (or become a FIFO) once it is queued, as a file removed or
// replaced by another program would.
void lose_when_queued(TZipArchiver& zip, const std::string& stored_name, const std::string& path,
                      bool put_fifo_in_its_place = false) {
    const auto previous = zip.OnStoreFile;
    zip.OnStoreFile = [=](TZipArchiver& sender, std::string& file_name, uint32_t& attributes,
                          std::string& comment, const std::string& original) {
        if (previous) {
            previous(sender, file_name, attributes, comment, original);
        }
        if (file_name == stored_name) {
            std::filesystem::remove(path);
            if (put_fifo_in_its_place) {
                EXPECT_EQ(::mkfifo(path.c_str(), 0644), 0);
            }
        }
    };
}

std::string text_of_size(size_t size) {
    std::string text;
    for (size_t i = 0; text.size() < size; ++i) {
        text += "line " + std::to_string(i * 7919 % 10007) + " of the sample text\n";
    }
    text.resize(size);
    return text;
}

std::string raw_deflate_level_9(const std::string& data) {
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
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

void set_times(const std::string& path, time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(WrittenEntries, EmptyFileAndEmptyFolderAreStoredWithZeroSizesAndCrcTheFolderWithFlagsTwo) {
    TempFolder folder;
    folder.write("data/empty.txt", "");
    folder.make_folder("data/empty");
    TZipArchiver zip{"Zip"};
    const std::string bytes = read_file(pack_checked(zip, folder));
    const auto entries = python_entries(folder / "out.zip");
    ASSERT_EQ(entries.size(), 2u);
    for (const PeerEntry& entry : entries) {
        SCOPED_TRACE(entry.name);
        const RawLocalHeader local = local_header_at(bytes, entry.header_offset);
        EXPECT_EQ(local.name, entry.name);
        EXPECT_EQ(local.method, 0);
        EXPECT_EQ(local.crc, 0u);
        EXPECT_EQ(local.compressed_size, 0u);
        EXPECT_EQ(local.uncompressed_size, 0u);
        EXPECT_EQ(entry.method, 0);
        EXPECT_EQ(entry.crc, 0u);
        EXPECT_EQ(entry.compressed_size + entry.size, 0u);
        EXPECT_EQ(entry.extract_version, 20);
        EXPECT_EQ(local.flags, entry.flags);
    }
    EXPECT_EQ(entries[0].name, "data/empty.txt");
    EXPECT_EQ(entries[0].flags, 0);
    EXPECT_EQ(entries[1].name, "data/empty/");
    EXPECT_EQ(entries[1].flags, 2);
    EXPECT_EQ(entries[1].external_attributes, 0x10u) << "the folder's attributes";
}

TEST(WrittenEntries, FileIsRawDeflateAtLevelNineAndBothHeadersAgreeAfterTheRewrite) {
    TempFolder folder;
    const std::string content = text_of_size(3'000'000);  // two blocks at level 9
    folder.write("data/text.txt", content);
    TZipArchiver zip{"Zip"};
    const std::string bytes = read_file(pack_checked(zip, folder));
    const RawLocalHeader local = local_header_at(bytes, 0);
    const std::string expected_data = raw_deflate_level_9(content);
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(content.data()), static_cast<uInt>(content.size())));
    EXPECT_EQ(local.method, 8);
    EXPECT_EQ(local.version_needed, 20);
    EXPECT_EQ(local.crc, crc) << "the local header is rewritten with the final CRC";
    EXPECT_EQ(local.uncompressed_size, content.size());
    EXPECT_EQ(local.compressed_size, expected_data.size());
    EXPECT_TRUE(local.extra.empty());
    EXPECT_EQ(bytes.substr(30 + local.name.size(), expected_data.size()), expected_data)
        << "zlib's raw deflate at level 9, memory level 8, default strategy";
    const auto entries = python_entries(folder / "out.zip");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].crc, crc);
    EXPECT_EQ(entries[0].compressed_size, expected_data.size());
    EXPECT_EQ(entries[0].flags, 0);
    EXPECT_EQ(entries[0].create_version, 20);
    EXPECT_EQ(entries[0].create_system, 0);
    EXPECT_EQ(entries[0].external_attributes, 0x20u);
}

TEST(WrittenEntries, NamesAreCodePage850WhereEveryCharacterFitsElseUtf8WithBitEleven) {
    TempFolder folder;
    folder.write("data/città.txt", "x");
    folder.write("data/raw\xff\xfe.txt", "x");
    folder.write("data/日本.txt", "x");
    TZipArchiver zip{"Zip"};
    const std::string archive = pack_checked(zip, folder);
    const std::vector<std::pair<std::string, int>> expected = {
        {"data/citt\x85.txt", 0},     // à is 0x85 in code page 850
        {"data/raw\xff\xfe.txt", 0},  // not UTF-8: its bytes as they are
        {"data/日本.txt", 0x800}};    // no place in code page 850
    const auto entries = python_entries(archive);
    ASSERT_EQ(entries.size(), expected.size());
    const std::string bytes = read_file(archive);
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_EQ(entries[i].name, expected[i].first);
        EXPECT_EQ(entries[i].flags, expected[i].second);
        EXPECT_EQ(entries[i].create_version, 20);
        EXPECT_EQ(entries[i].extract_version, 20);
        const RawLocalHeader local = local_header_at(bytes, entries[i].header_offset);
        EXPECT_EQ(local.name, expected[i].first);
        EXPECT_EQ(local.flags, expected[i].second);
        EXPECT_EQ(local.version_needed, 20);
    }

    TZipArchiver ansi{"Zip"};
    ansi.Options.OEMFileNames = false;
    const RawLocalHeader local = local_header_at(read_file(pack_checked(ansi, folder)), 0);
    EXPECT_EQ(local.version_needed, 2836) << "without OEM names";
    EXPECT_EQ(local.name, "data/città.txt");
    EXPECT_EQ(local.flags, 0x800);
}

TEST(WrittenEntries, DosTimesAndAttributesComeFromTheSourceHeldWithinTheDosRange) {
    TempFolder folder;
    std::tm local_time{};
    local_time.tm_year = 2021 - 1900;
    local_time.tm_mon = 2;
    local_time.tm_mday = 4;
    local_time.tm_hour = 5;
    local_time.tm_min = 6;
    local_time.tm_sec = 9;
    local_time.tm_isdst = -1;
    const std::string hidden = folder.write("data/.dated", "x");
    set_times(hidden, std::mktime(&local_time));
    ::chmod(hidden.c_str(), 0444);
    set_times(folder.write("data/1970.txt", "old"), 0);
    set_times(folder.write("data/2200.txt", "future"), 7'258'118'400);
    TZipArchiver zip{"Zip"};
    const std::string bytes = read_file(pack_checked(zip, folder));
    const auto entries = python_entries(folder / "out.zip");
    ASSERT_EQ(entries.size(), 3u);
    const auto time_and_date = [&](const PeerEntry& entry) {
        return std::pair<int, int>(u16_at(bytes, entry.header_offset + 10),
                                   u16_at(bytes, entry.header_offset + 12));
    };
    EXPECT_EQ(time_and_date(entries[0]), std::pair((5 << 11) | (6 << 5) | (9 / 2), (41 << 9) | (3 << 5) | 4))
        << "seconds halved, years from 1980";
    EXPECT_EQ(entries[0].external_attributes, 0x23u)
        << "archive, read-only and hidden (name starts with a dot)";
    EXPECT_EQ(time_and_date(entries[1]), std::pair(0, (1 << 5) | 1)) << "1970 is held at 1980-01-01 00:00:00";
    EXPECT_EQ(time_and_date(entries[2]), std::pair((23 << 11) | (59 << 5) | 29, (127 << 9) | (12 << 5) | 31))
        << "2200 is held at 2107-12-31 23:59:58";
}

TEST(Selection, MaskAttributesRecursionAndExclusionsChooseTheEntriesInFolderSearchOrder) {
    TempFolder folder;
    folder.write("data/b.txt", "b");
    folder.write("data/a.txt", "a");
    folder.write("data/noext", "no dot");
    folder.write("data/x.TMP", "t");
    const std::string locked = folder.write("data/locked.txt", "l");
    ::chmod(locked.c_str(), 0444);
    folder.write("data/docs/z.txt", "z");
    folder.write("data/docs/z.doc", "z");
    folder.write("data/docs/inner/y.txt", "y");
    folder.write("data/notes.txt/c.txt", "folder named like a file");
    folder.write("data/cache/k.txt", "k");
    folder.make_folder("data/empty");
    struct Case {
        const char* what;
        std::string mask;
        std::function<void(TZipArchiver&)> set_up;
        uint32_t search_attr;
        std::string exclusion;
        Names expected;
    };
    const std::vector<Case> cases = {
        {"files of a folder before its sub-folders, each folder entry before its contents; \"*.*\" takes "
         "names without a dot too",
         "data/*.*",
         {},
         kDefaultSearchAttr,
         "",
         {"data/a.txt", "data/b.txt", "data/locked.txt", "data/noext", "data/x.TMP", "data/cache/",
          "data/cache/k.txt", "data/docs/", "data/docs/z.doc", "data/docs/z.txt", "data/docs/inner/",
          "data/docs/inner/y.txt", "data/empty/", "data/notes.txt/", "data/notes.txt/c.txt"}},
        {"the file part selects files in every folder, but folder entries only where it matches",
         "data/*.txt",
         {},
         kDefaultSearchAttr,
         "",
         {"data/a.txt", "data/b.txt", "data/locked.txt", "data/cache/k.txt", "data/docs/z.txt",
          "data/docs/inner/y.txt", "data/notes.txt/", "data/notes.txt/c.txt"}},
        {"without Recurse only matching folders are searched",
         "data/*.txt",
         [](TZipArchiver& zip) { zip.Options.Recurse = false; },
         kDefaultSearchAttr,
         "",
         {"data/a.txt", "data/b.txt", "data/locked.txt", "data/notes.txt/", "data/notes.txt/c.txt"}},
        {"a mask without wildcards names one file", "data/a.txt", {}, kDefaultSearchAttr, "", {"data/a.txt"}},
        {"only files sharing an attribute bit, and no folder entries without the directory bit",
         "data/*.*",
         {},
         0x01,
         "",
         {"data/locked.txt"}},
        {"exclusions leave out files and whole folders, without regard to case",
         "data/*.*",
         [](TZipArchiver& zip) {
             zip.ExclusionMasks = {"*/CACHE", "*/docs/inner"};
         },
         kDefaultSearchAttr,
         "*.tmp",
         {"data/a.txt", "data/b.txt", "data/locked.txt", "data/noext", "data/docs/", "data/docs/z.doc",
          "data/docs/z.txt", "data/empty/", "data/notes.txt/", "data/notes.txt/c.txt"}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        TZipArchiver zip{"Zip"};
        set_up_like_backup(zip, folder, "out.zip");
        if (test.set_up) {
            test.set_up(zip);
        }
        zip.Open(kCreateArchive);
        zip.AddMask(test.mask, test.search_attr, test.exclusion);
        zip.Close();
        expect_peers_accept(zip.FileName);
        EXPECT_EQ(names_in(zip.FileName), test.expected);
    }
}

TEST(Selection, TheArchiveItselfFifosSocketsAndLinksToFoldersAreNeverTaken) {
    TempFolder folder;
    folder.write("data/real.txt", "real");
    folder.write("data/OUT.ZIP.txt", "not the archive");
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
    const std::string archive = pack_checked(zip, folder, "data/*.*", "data/out.zip");
    ::close(server);
    EXPECT_EQ(names_in(archive), (Names{"data/OUT.ZIP.txt", "data/link.txt", "data/real.txt"}))
        << "a link to a file is followed; the archive, the FIFO, the socket and the link to a folder are not";
}

TEST(StoredNames, EachStorePathModeGivesItsName) {
    TempFolder folder;
    TempFolder elsewhere;
    const std::string file = folder.write("data/docs/a.txt", "a");
    const std::string outside = elsewhere.write("b.txt", "b");
    const std::string full = folder.path().substr(1);
    const auto name_in = [&](TZipStorePathMode mode, const std::string& mask) {
        TZipArchiver zip{"Zip"};
        set_up_like_backup(zip, folder, "out.zip");
        zip.Options.StorePath = mode;
        zip.Open(kCreateArchive);
        zip.AddMask(mask, kDefaultSearchAttr, "");
        zip.Close();
        const Names names = names_in(zip.FileName);
        return names.size() == 1 ? names[0] : "(" + std::to_string(names.size()) + " entries)";
    };
    EXPECT_EQ(name_in(TZipStorePathMode::spNoPath, "data/docs/*.txt"), "a.txt");
    EXPECT_EQ(name_in(TZipStorePathMode::spRelativePath, "data/docs/*.txt"), "data/docs/a.txt");
    EXPECT_EQ(name_in(TZipStorePathMode::spRelativePath, outside), outside.substr(1))
        << "outside the base folder the full path, never a name climbing out with \"../\"";
    EXPECT_EQ(name_in(TZipStorePathMode::spFullPath, file), full + "data/docs/a.txt");
    EXPECT_EQ(name_in(TZipStorePathMode::spFullPathWithDrive, file), full + "data/docs/a.txt")
        << "POSIX has no drive part: never a leading \"/\"";
    EXPECT_EQ(name_in(TZipStorePathMode::spFullPath, "data/./x/../docs//*.txt"), full + "data/docs/a.txt")
        << "\".\" and \"..\" are resolved before the name is taken";
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
    const auto entries = python_entries(pack_checked(zip, folder));
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, std::string>>{{"data/a.txt", folder / "data/a.txt"},
                                                                      {"data/sub/", folder / "data/sub"}}));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "renamed/a.txt");
    EXPECT_EQ(entries[0].external_attributes, 0x21u);
}

TEST(SourceFailures, VanishedFileOrFifoInItsPlaceIsReported33And12AndTheArchiveIsWrittenWithoutIt) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string gone = folder.write("data/b.txt", "b");
    const std::string swapped = folder.write("data/c.txt", "c");
    folder.write("data/d.txt", "d");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    lose_when_queued(zip, "data/b.txt", gone);
    lose_when_queued(zip, "data/c.txt", swapped, true);  // never opened as a file, never waited on
    const std::string archive = pack_checked(zip, folder);
    EXPECT_EQ(names_in(archive), (Names{"data/a.txt", "data/d.txt"}));
    const auto failures = recorder.failures();
    ASSERT_EQ(failures.size(), 2u);
    for (size_t i = 0; i < failures.size(); ++i) {
        const std::string& path = i == 0 ? gone : swapped;
        EXPECT_EQ(failures[i].name, path);
        EXPECT_EQ(failures[i].operation, TZipProcessOperation::poAdd);
        EXPECT_EQ(failures[i].native_error, 33);
        EXPECT_EQ(failures[i].error_code, 12);
        EXPECT_EQ(failures[i].message, "Zip: Cannot open file \"" + path + "\" - Native error: 00033");
    }
    EXPECT_TRUE(test_archive(archive).empty());
}

TEST(SourceFailures, RetryProcessesTheFileAgainFromItsStart) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    const std::string late = folder.write("data/late.txt", "soon");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    recorder.failure_answer = TZipAction::zaRetry;
    lose_when_queued(zip, "data/late.txt", late);
    const auto record_failure = zip.OnProcessFileFailure;
    zip.OnProcessFileFailure = [&](TZipArchiver& sender, const std::string& name,
                                   TZipProcessOperation operation, int native_error, int error_code,
                                   const std::string& message, TZipAction& action) {
        record_failure(sender, name, operation, native_error, error_code, message, action);
        ::ferrolo::testing::write_file(late, "here now");  // back for the retry
    };
    const auto entries = python_entries(pack_checked(zip, folder));
    EXPECT_EQ(recorder.failures().size(), 1u);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].size, 8u);
    int starts = 0;
    for (const Event& event : recorder.of_kind(Event::Kind::FileProgress)) {
        starts += event.name == late && event.phase == TZipProgressPhase::ppStart;
    }
    EXPECT_EQ(starts, 2);
}

TEST(SourceFailures, FileThatGrowsOrShrinksWhileReadIsReported34WithBothSizes) {
    for (const bool grows : {true, false}) {
        SCOPED_TRACE(grows ? "grows" : "shrinks");
        TempFolder folder;
        const std::string path = folder.write("data/log.txt", text_of_size(2'000'000));
        folder.write("data/z.txt", "z");
        TZipArchiver zip{"Zip"};
        EventRecorder recorder(zip);
        recorder.cancel_when = [&, changed = false](const Event& event) mutable {
            if (!changed && event.phase == TZipProgressPhase::ppProcess) {
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
        EXPECT_EQ(names_in(pack_checked(zip, folder)), (Names{"data/z.txt"}));
        ASSERT_EQ(recorder.failures().size(), 1u);
        EXPECT_EQ(recorder.failures()[0].error_code, 17);
        EXPECT_EQ(recorder.failures()[0].message,
                  std::string("Zip: Invalid compressed size, rfs.size = 2000000, count = ") +
                      (grows ? "2000001" : "1800000") + " - Native error: 00034");
    }
}

// Goes `depth` folders named `name` down from `root` (creating them), then creates `leaf` there; never
// names a path longer than the system takes.
void create_deep(const std::string& root, const std::string& name, size_t depth, const std::string& leaf,
                 bool leaf_is_folder) {
    int folder = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (size_t i = 0; i < depth; ++i) {
        ::mkdirat(folder, name.c_str(), 0755);
        const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = inner;
    }
    EXPECT_EQ(leaf_is_folder ? ::mkdirat(folder, leaf.c_str(), 0755)
                             : ::close(::openat(folder, leaf.c_str(), O_CREAT | O_WRONLY, 0644)),
              0);
    ::close(folder);
}

TEST(SourceFailures, PathTooLongIsError61AndAFolderThatCannotBeListedIsError33NotASilentGap) {
    TempFolder folder;
    const std::string root = folder.make_folder("data");
    folder.write("data/short.txt", "s");
    const struct TreeRemover {
        std::string path;
        ~TreeRemover() { remove_tree(path); }
    } remover{root};
    // 19 folders down to about 3,870 bytes: the deepest can still be listed, what lies in it cannot
    // (4,096 bytes or more), and the names stored for the folders stay short enough for the peers.
    const size_t depth = 19;
    const std::string level((3870 - root.size()) / depth - 1, 'd');
    std::string deep = root;
    for (size_t i = 0; i < depth; ++i) {
        deep += "/" + level;
    }
    const std::string long_name(250, 'f');
    const std::string long_folder(250, 'g');
    ASSERT_GE(deep.size() + 1 + long_name.size(), 4096u) << "longer than the system takes";
    create_deep(root, level, depth, long_name, false);
    create_deep(root, level, depth, long_folder, true);

    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    const std::string archive = pack_checked(zip, folder);
    const auto failures = recorder.failures();
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].name, deep + "/" + long_folder) << "the folder, found while selecting";
    EXPECT_EQ(failures[0].native_error, 33);
    EXPECT_EQ(failures[0].error_code, 12);
    EXPECT_EQ(failures[1].error_code, 36);
    EXPECT_EQ(failures[1].message,
              "Zip: File name is too long: \r\n\"" + deep + "/" + long_name + "\" - Native error: 00061");
    EXPECT_EQ(python_entries(archive).front().name, "data/short.txt");
}

TEST(SourceFailures, WithoutAFailureHandlerTheFrontEndIsAskedOrTheFileIgnored) {
    for (const bool front_end : {true, false}) {
        SCOPED_TRACE(front_end ? "the front end answers Abort" : "no front end: Ignore");
        TempFolder folder;
        folder.write("data/a.txt", "a");
        const std::string gone = folder.write("data/b.txt", "b");
        folder.write("data/c.txt", "c");
        TZipArchiver zip{"Zip_Ext"};
        lose_when_queued(zip, "data/b.txt", gone);
        std::vector<std::pair<std::string, core::MessageButtons>> asked;
        if (front_end) {
            zip.AskUser = [&](std::string_view text, core::MessageButtons buttons) {
                asked.emplace_back(text, buttons);
                return core::MessageAnswer::Abort;
            };
        }
        const std::string archive = pack_checked(zip, folder);
        if (front_end) {
            ASSERT_EQ(asked.size(), 1u);
            EXPECT_EQ(asked[0].first,
                      "Zip_Ext: Cannot open file \"" + gone +
                          "\" - Native error: 00033. File processing error, possibly disk is full");
            EXPECT_EQ(asked[0].second, core::MessageButtons::AbortRetryIgnore);
        }
        EXPECT_EQ(names_in(archive), (front_end ? Names{"data/a.txt"} : Names{"data/a.txt", "data/c.txt"}));
    }
}

TEST(CancelAndAbort, CancelAfterTheFirstEntryLeavesAValidArchiveHoldingIt) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(10'000));
    folder.write("data/b.txt", text_of_size(5'000'000));
    folder.write("data/c.txt", "c");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    recorder.cancel_when = [first_done = false](const Event& event) mutable {
        first_done = first_done || event.phase == TZipProgressPhase::ppEnd;
        return first_done && event.kind == Event::Kind::OverallProgress;
    };
    const std::string archive = pack_checked(zip, folder);
    EXPECT_EQ(names_in(archive), (Names{"data/a.txt"}));
    EXPECT_TRUE(test_archive(archive).empty());
    EXPECT_LT(read_file(archive).size(), 10'000u) << "the dropped entry's data is cut away";
    EXPECT_NE(recorder.events.back().phase, TZipProgressPhase::ppEnd) << "no overall end after a cancel";
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
    lose_when_queued(zip, "data/b.txt", gone);
    EXPECT_EQ(names_in(pack_checked(zip, folder)), (Names{"data/a.txt"}));
    EXPECT_NE(recorder.events.back().phase, TZipProgressPhase::ppEnd) << "no overall end after an abort";
}

std::vector<std::string> describe_adding(const std::vector<Event>& events) {
    std::vector<std::string> seen;
    for (const Event& event : events) {
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
    return seen;
}

TEST(Progress, AddingFiresStartBlocksAndEndWithExactValuesInOrder) {
    TempFolder folder;
    folder.write("data/a.txt", text_of_size(1000));
    folder.write("data/b.txt", text_of_size(3000));
    folder.make_folder("data/sub");
    TZipArchiver zip{"Zip"};
    EventRecorder recorder(zip);
    pack(zip, folder, "data/*.*");
    EXPECT_EQ(describe_adding(recorder.events),
              (Names{"overall start 0.000000", "a.txt start 0.000000", "a.txt process 100.000000",
                     "overall process 25.000000", "a.txt end 100.000000", "b.txt start 0.000000",
                     "b.txt process 100.000000", "overall process 100.000000", "b.txt end 100.000000",
                     "sub start 0.000000", "sub end 100.000000", "overall end 100.000000"}));

    TempFolder empty_files;
    empty_files.write("data/a.txt", "");
    empty_files.write("data/b.txt", "");
    TZipArchiver empties{"Zip"};
    EventRecorder empty_recorder(empties);
    pack(empties, empty_files, "data/*.*");
    EXPECT_EQ(describe_adding(empty_recorder.events),
              (Names{"overall start 0.000000", "a.txt start 0.000000", "a.txt process 100.000000",
                     "overall process 50.000000", "a.txt end 100.000000", "b.txt start 0.000000",
                     "b.txt process 100.000000", "overall process 50.000000", "b.txt end 100.000000",
                     "overall end 100.000000"}))
        << "50.0 when the total is 0";
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
        const auto file_events = recorder.of_kind(Event::Kind::FileProgress);
        EXPECT_EQ(
            std::count_if(file_events.begin(), file_events.end(),
                          [](const Event& event) { return event.phase == TZipProgressPhase::ppProcess; }),
            notices)
            << "mode " << zip.CompressionMode();
        expect_peers_accept(zip.FileName);
    }
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
        cancel = cancel || phase == TZipProgressPhase::ppProcess;
    };
    zip.OnOverallProgress = [&](TZipArchiver&, double, TZipProcessOperation, TZipProgressPhase,
                                bool& cancel) {
        cancel_seen.push_back(cancel);
        cancel = false;  // too late: the flag stays set
    };
    EXPECT_TRUE(python_entries(pack(zip, folder, "data/*.*")).empty());
    EXPECT_EQ(cancel_seen, (std::vector<bool>{false, false, false, true}));
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

    zip.FileName = folder.write("out.zip", std::string(100'000, 'x'));
    zip.Open(kCreateArchive);
    EXPECT_EQ(std::filesystem::file_size(zip.FileName), 0u) << "an existing file is replaced at once";
    try {
        zip.SetSpanningMode(TZipSpanningMode::smSplitting);
        ADD_FAILURE() << "spanning mode changed on an open archive";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Cannot set spanning mode on open archive");
        EXPECT_EQ(dynamic_cast<const EZipError*>(&error), nullptr) << "a plain exception";
    }
    zip.BeginUpdate();
    EXPECT_EQ(code_of([&] { zip.TestMask("*.*", kDefaultSearchAttr, ""); }), 26);
    zip.EndUpdate();
    zip.Close();
    EXPECT_EQ(read_file(zip.FileName), std::string("PK\x05\x06", 4) + std::string(18, '\0'))
        << "an archive with no entries is the end record alone";

    zip.Open(kOpenForReading);
    EXPECT_EQ(code_of([&] { zip.BeginUpdate(); }), 32);
    zip.Close();
    zip.Close();  // harmless when nothing is open
}

TEST(Updates, NestedUpdatesWriteAtTheOutermostEndAndLaterUpdatesAddToWhatIsThere) {
    TempFolder folder;
    folder.write("data/a.txt", "a");
    folder.write("more/b.txt", "b");
    folder.write("last/c.txt", "c");
    TZipArchiver zip{"Zip"};
    set_up_like_backup(zip, folder, "out.zip");
    zip.Open(kCreateArchive);
    zip.BeginUpdate();
    zip.AddMask("data/*.*", kDefaultSearchAttr, "");
    EXPECT_EQ(std::filesystem::file_size(zip.FileName), 0u) << "nothing written inside an outer update";
    zip.EndUpdate();
    zip.AddMask("more/*.*", kDefaultSearchAttr, "");  // a second update of the open archive
    zip.Close();
    expect_peers_accept(zip.FileName);

    TZipArchiver later{"Zip"};
    set_up_like_backup(later, folder, "out.zip");
    later.BeginUpdate();  // opens the existing archive itself
    later.AddMask("last/*.*", kDefaultSearchAttr, "");
    later.EndUpdate();
    later.Close();
    expect_peers_accept(zip.FileName);
    EXPECT_EQ(names_in(zip.FileName), (Names{"data/a.txt", "more/b.txt", "last/c.txt"}));
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
    EXPECT_EQ(local.compressed_size & local.uncompressed_size, 0xFFFFFFFFu);
    ASSERT_EQ(local.extra.size(), 20u);
    EXPECT_EQ(u16_at(local.extra, 0), 1);
    EXPECT_EQ(u64_at(local.extra, 4), 5000u);
    const uint64_t end = end_record_offset(bytes);
    EXPECT_EQ(u32_at(bytes, end - 20), 0x07064b50u) << "the Zip64 locator right before the end record";
    EXPECT_EQ(u32_at(bytes, end - 76), 0x06064b50u);
    const auto entries = python_entries(zip.FileName);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].extract_version, 45);
    EXPECT_TRUE(test_archive(zip.FileName).empty());
}

}  // namespace
}  // namespace ferrolo::archive::testing
